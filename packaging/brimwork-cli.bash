# Bash completion for brimwork-cli: a command first, then a container file
# of any of the three kinds. Folders are offered on the way to a file.
# Extensions match in any letter case. export and replace take, after
# FILE, an ENTRY and an optional IMAGE (not completed), then a TGA or PNG
# file.
#
# Options are offered where the program takes them once a "-" is typed:
# -v and --verbose before the command or after it, the command's own
# options after it, each only once (--dry-run and --backup exclude each
# other). Options may also follow the FILE; "--" ends them.

_brimwork_cli()
{
    local current="${COMP_WORDS[COMP_CWORD]}"
    COMPREPLY=()

    # The command is the first word that is not -v or --verbose.
    local index=1
    while ((index < COMP_CWORD)) && [[ "${COMP_WORDS[index]}" == -v || "${COMP_WORDS[index]}" == --verbose ]]; do
        index=$((index + 1))
    done
    if ((index == COMP_CWORD)); then
        local words='list extract rebuild info export replace verify --help --version'
        if [[ "$current" == -* ]]; then
            words='--help --version'
            ((index > 1)) || words+=' -v --verbose'
        fi
        mapfile -t COMPREPLY < <(compgen -W "$words" -- "$current")
        return 0
    fi

    local options
    case "${COMP_WORDS[index]}" in
        list) options=' -v --verbose ' ;;
        extract) options=' -v --verbose --overwrite ' ;;
        rebuild) options=' -v --verbose --dry-run --backup ' ;;
        info) options=' -v --verbose --json ' ;;
        export) options=' -v --verbose --overwrite ' ;;
        replace | verify) options=' -v --verbose ' ;;
        *) return 0 ;;
    esac

    # What stands between the command and the word being completed: options
    # already given, "--", and the operands (FILE, then for export and
    # replace ENTRY and IMAGE).
    local word ended=0 operands=0 i
    for ((i = index + 1; i < COMP_CWORD; i++)); do
        word="${COMP_WORDS[i]}"
        if ((ended == 0)) && [[ "$word" == -?* ]]; then
            case "$word" in
                --) ended=1 ;;
                -v | --verbose) options="${options/ -v / }" options="${options/ --verbose / }" ;;
                --dry-run | --backup) options="${options/ --dry-run / }" options="${options/ --backup / }" ;;
                *) options="${options/ $word / }" ;;
            esac
        else
            operands=$((operands + 1))
        fi
    done
    if ((ended == 0)) && [[ "$current" == -* ]]; then
        mapfile -t COMPREPLY < <(compgen -W "$options" -- "$current")
        return 0
    fi

    local extensions=' gdg pix azp '
    if ((operands > 0)); then
        case "${COMP_WORDS[index]}" in
            export | replace) ((operands >= 2 && operands <= 3)) || return 0 ;;
            *) return 0 ;;
        esac
        extensions=' tga png '
    fi
    compopt -o filenames 2> /dev/null
    local candidate extension
    while IFS= read -r candidate; do
        extension="${candidate##*.}"
        if [[ -d "$candidate" ]] ||
            [[ "$candidate" == *.* && "$extensions" == *" ${extension,,} "* ]]; then
            COMPREPLY+=("$candidate")
        fi
    done < <(compgen -f -- "$current")
    return 0
}

complete -F _brimwork_cli brimwork-cli
