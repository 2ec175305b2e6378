#!/bin/sh
# The generated shell completion and man pages work: bash completes commands,
# options, preference keys and language lists; the zsh file parses; the man
# pages render without warnings. Usage: completion-and-man.sh GENERATED_DIR
set -eu
. "$(dirname "$0")/need-tools.sh"
need bash zsh man
dir=$1

# Completions of the words given, the last one being completed.
complete_words() {
  bash -c '. "$1"; shift; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); _lumbra_cli; echo "${COMPREPLY[*]}"' \
    sh "$dir/completion/lumbra-cli" lumbra-cli "$@"
}
check() {
  expected=$1; shift
  got=$(complete_words "$@")
  [ "$got" = "$expected" ] || fail "completing '$*': expected '$expected', got '$got'"
}
check "verify" ve
check "en,fa en,fi en,fr" get --lang en,f
check "RestApiKey= RestServer=" prefs --set Rest
check "--fps=" info --f
check "--no-lang-ext" get --no
zsh -n "$dir/completion/_lumbra-cli" || fail "the zsh completion does not parse"

for page in lumbra lumbra-cli; do
  warnings=$(MANWIDTH=80 man --warnings -l "$dir/man/$page.1" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "man page $page.1: $warnings"
  MANWIDTH=80 man -l "$dir/man/$page.1" 2>/dev/null | grep -q "^SYNOPSIS" || fail "man page $page.1 has no synopsis"
done
MANWIDTH=200 man -l "$dir/man/lumbra-cli.1" 2>/dev/null | grep -q "get \[--lang CODES\]" ||
  fail "the lumbra-cli man page lacks the get command of --help"
echo "completion and man pages work"
