# Sourced by the desktop tests. `need TOOL...` skips the test (exit 77) when a tool
# is missing on a developer's machine, and fails it under CI=true, where
# scripts/packages.txt is installed and a missing tool is a fault.
need() {
  for tool in "$@"; do
    command -v "$tool" >/dev/null 2>&1 && continue
    if [ "${CI:-}" = true ]; then
      echo "FAIL: $tool is missing (install the packages of scripts/packages.txt)"
      exit 1
    fi
    echo "SKIP: $tool is missing (install the packages of scripts/packages.txt)"
    exit 77
  done
}

fail() {
  echo "FAIL: $*"
  exit 1
}
