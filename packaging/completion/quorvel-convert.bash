# SPDX-License-Identifier: Apache-2.0
# Copyright Contributors to the Quorvel Project
#
# bash completion for quorvel-convert: options, .ma exports for INPUT,
# .syncar scene files for OUTPUT and --output, folders for --directory,
# kinds of warning for --no-warn and --strict.
_quorvel_convert()
{
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]} joined=0
    # "--directory=DIR" arrives as three words when '=' breaks words.
    if [[ $prev == = && $COMP_CWORD -ge 2 ]]; then
        prev=${COMP_WORDS[COMP_CWORD-2]} joined=1
    elif [[ $cur == = ]]; then
        prev=${COMP_WORDS[COMP_CWORD-1]} cur= joined=1
    fi
    # --strict takes its list only after '='.
    [[ $prev == --strict && $joined -eq 0 ]] && prev=
    case $prev in
        -d | --directory)
            compopt -o filenames 2>/dev/null || :
            mapfile -t COMPREPLY < <(compgen -d -- "$cur")
            return ;;
        --report)
            mapfile -t COMPREPLY < <(compgen -W 'json' -- "$cur")
            return ;;
        --no-warn | --strict)
            # A list: the kinds after the last comma.
            local kinds='frame-rate skipped-tracker-line impossible-value no-trackers hard-link key-times'
            mapfile -t COMPREPLY < <(compgen -P "${cur%"${cur##*,}"}" -W "$kinds" -- "${cur##*,}")
            return ;;
        -o | --output)
            compopt -o filenames 2>/dev/null || :
            mapfile -t COMPREPLY < <(compgen -f -X '!*.syncar' -- "$cur"; compgen -d -- "$cur")
            return ;;
        -f | --factor | --threads | -j | --jobs)
            COMPREPLY=()
            return ;;
    esac
    if [[ $cur == -* ]]; then
        mapfile -t COMPREPLY < <(compgen -W '--no-trackers --factor --output --directory --jobs
            --check --dry-run --no-warn --strict --report --threads --verbose --quiet --help --version
            -n -f -o -d -j -v -q -h' -- "$cur")
        return
    fi
    # The second file is the OUTPUT scene unless -o, -d or --check makes
    # every file an INPUT.
    local word files=0 allInputs=0 i
    for ((i = 1; i < COMP_CWORD; i++)); do
        word=${COMP_WORDS[i]}
        case $word in
            -d | --directory | --directory=* | -d?* | -o | --output | --output=* | -o?* | --check) allInputs=1 ;;&
            -d | --directory | -o | --output | -f | --factor | -j | --jobs | --report | --no-warn | --threads) i=$((i + 1)) ;;
            -?*) ;;
            *) files=$((files + 1)) ;;
        esac
    done
    local pattern='*.ma'
    [[ $allInputs -eq 0 && $files -eq 1 ]] && pattern='*.syncar'
    compopt -o filenames 2>/dev/null || :
    mapfile -t COMPREPLY < <(compgen -f -X "!$pattern" -- "$cur"; compgen -d -- "$cur")
}
complete -F _quorvel_convert quorvel-convert
