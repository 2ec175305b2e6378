#!/usr/bin/env python3
"""Writes bash and zsh completion for lumbra-cli from what the program itself says.

    lumbra-completion.py LUMBRA_CLI FLAG_TABLE BASH_OUT ZSH_OUT

The commands and their options come from `lumbra-cli --help` (each command's
synopsis line), the preference keys for `prefs --set` from `lumbra-cli prefs`,
and the language codes from the flag table (one line per language Lumbra offers).
The program runs with a scratch configuration folder and without a session bus,
so a build never touches the builder's preferences or keyring.
"""
import os
import re
import subprocess
import sys
import tempfile


def run(cli, args, scratch, check=True):
    env = dict(os.environ, XDG_CONFIG_HOME=scratch, HOME=scratch,
               DBUS_SESSION_BUS_ADDRESS="unix:path=/nonexistent")
    env.pop("DISPLAY", None)
    return subprocess.run([cli] + args, env=env, check=check, capture_output=True, text=True).stdout


def commands_of(help_text):
    """{command: [options]} from the help's synopsis lines ("  get [--lang CODES] ... PATH...",
    continued on lines indented deeper that start with "[")."""
    commands = {}
    current = None
    for line in help_text.splitlines():
        m = re.match(r"^  ([a-z][a-z-]*)(\s.*)?$", line)
        if m:
            current = m.group(1)
            commands[current] = set()
            text = m.group(2) or ""
        elif current and re.match(r"^\s{4,}\[", line):
            text = line
        else:
            current = None
            continue
        commands[current].update(re.findall(r"(--[a-z][a-z0-9-]*=?)", text))
    return commands


def own_options(help_text):
    """The options a command's own --help lists, one a line ("  --json  ...")."""
    return set(re.findall(r"^\s+(--[a-z][a-z0-9-]*=?)", help_text, re.MULTILINE))


def pref_keys(prefs_text):
    keys = []
    for line in prefs_text.splitlines():
        m = re.match(r"^([A-Za-z]+): ", line)
        if m and m.group(1) != "file":
            keys.append(m.group(1))
    return keys


def languages(table):
    with open(table, encoding="utf-8") as f:
        return [line.split()[0] for line in f if re.match(r"^[a-z]", line)]


BASH = """# bash completion for lumbra-cli. Generated at build time from lumbra-cli itself.
_lumbra_cli()
{{
    local cur prev cmd i
    cur=${{COMP_WORDS[COMP_CWORD]}}
    prev=${{COMP_WORDS[COMP_CWORD-1]}}
    cmd=
    for ((i = 1; i < COMP_CWORD; i++)); do
        case ${{COMP_WORDS[i]}} in -*) ;; *) cmd=${{COMP_WORDS[i]}}; break ;; esac
    done
    local languages="{languages}"
    if [[ -z $cmd ]]; then
        COMPREPLY=($(compgen -W "{commands} --help --verbose" -- "$cur"))
        return
    fi
    case $prev in
        --lang)
            # A comma-separated list: complete the code after the last comma.
            local done=${{cur%,*}} last=${{cur##*,}}
            [[ $done == "$cur" ]] && done= || done=$done,
            COMPREPLY=($(compgen -P "$done" -W "$languages" -- "$last"))
            return ;;
        --set)
            compopt -o nospace 2>/dev/null
            COMPREPLY=($(compgen -S = -W "{keys}" -- "$cur"))
            return ;;
        --server|--user|--password|--fps) return ;;
    esac
    local options
    case $cmd in
{cases}
    esac
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$options --verbose" -- "$cur"))
    else
        COMPREPLY=($(compgen -f -- "$cur"))
    fi
}}
complete -o filenames -F _lumbra_cli lumbra-cli
"""

ZSH = """#compdef lumbra-cli
# zsh completion for lumbra-cli. Generated at build time from lumbra-cli itself.
_lumbra_cli() {{
    local -a commands languages keys
    commands=({commands})
    languages=({languages})
    keys=({keys})
    if (( CURRENT == 2 )); then
        _alternatives 'commands:command:compadd -a commands' 'options:option:(--help --verbose)'
        return
    fi
    case ${{words[CURRENT-1]}} in
        --lang) _sequence compadd -a languages; return ;;
        --set) compadd -S = -a keys; return ;;
        --server|--user|--password|--fps) return ;;
    esac
    local -a options
    case ${{words[2]}} in
{cases}
    esac
    if [[ $PREFIX == -* ]]; then
        compadd -a options -- --verbose
    else
        _files
    fi
}}
_lumbra_cli "$@"
"""


def main():
    cli, table, bash_out, zsh_out = sys.argv[1:5]
    with tempfile.TemporaryDirectory() as scratch:
        commands = commands_of(run(cli, ["--help"], scratch))
        for name, options in commands.items():
            options.update(own_options(run(cli, [name, "--help"], scratch, check=False)))
        commands = {name: sorted(options) for name, options in commands.items()}
        keys = pref_keys(run(cli, ["prefs"], scratch))
    if not commands or not keys:
        sys.exit("lumbra-completion: found no commands or no preferences in lumbra-cli's output")
    codes = " ".join(languages(table))
    names = " ".join(sorted(commands))
    bash_cases = "\n".join(f'        {c}) options="{" ".join(o)}" ;;' for c, o in sorted(commands.items()))
    zsh_cases = "\n".join(f'        {c}) options=({" ".join(o)}) ;;' for c, o in sorted(commands.items()))
    with open(bash_out, "w", encoding="utf-8") as f:
        f.write(BASH.format(languages=codes, commands=names, keys=" ".join(keys), cases=bash_cases))
    with open(zsh_out, "w", encoding="utf-8") as f:
        f.write(ZSH.format(languages=codes, commands=names, keys=" ".join(keys), cases=zsh_cases))


if __name__ == "__main__":
    main()
