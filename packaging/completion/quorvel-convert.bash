# SPDX-License-Identifier: Apache-2.0
# Copyright Contributors to the Quorvel Project
#
# bash completion for quorvel-convert: options, .ma exports for INPUT,
# .syncar scene files for OUTPUT, folders for --directory.
_quorvel_convert()
{
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}
    # "--directory=DIR" arrives as three words when '=' breaks words.
    if [[ $prev == = && $COMP_CWORD -ge 2 ]]; then
        prev=${COMP_WORDS[COMP_CWORD-2]}
    elif [[ $cur == = ]]; then
        prev=${COMP_WORDS[COMP_CWORD-1]} cur=
    fi
    case $prev in
        -d | --directory)
            compopt -o filenames 2>/dev/null || :
            mapfile -t COMPREPLY < <(compgen -d -- "$cur")
            return ;;
        --report)
            mapfile -t COMPREPLY < <(compgen -W 'json' -- "$cur")
            return ;;
        -f | --factor | --threads)
            COMPREPLY=()
            return ;;
    esac
    if [[ $cur == -* ]]; then
        mapfile -t COMPREPLY < <(compgen -W '--no-trackers --factor --directory --check
            --report --threads --verbose --quiet --help --version -n -f -d -v -q -h' -- "$cur")
        return
    fi
    # The second file is the OUTPUT scene unless -d or --check makes every
    # file an INPUT.
    local word files=0 allInputs=0 i
    for ((i = 1; i < COMP_CWORD; i++)); do
        word=${COMP_WORDS[i]}
        case $word in
            -d | --directory | --directory=* | -d?* | --check) allInputs=1 ;;&
            -d | --directory | -f | --factor | --report | --threads) i=$((i + 1)) ;;
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
