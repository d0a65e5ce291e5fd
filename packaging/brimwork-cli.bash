# Bash completion for brimwork-cli: a command first, then a container file
# of any of the three kinds. Folders are offered on the way to a file.
# Extensions match in any letter case.

_brimwork_cli()
{
    local current="${COMP_WORDS[COMP_CWORD]}"
    COMPREPLY=()

    if ((COMP_CWORD == 1)); then
        mapfile -t COMPREPLY < <(compgen -W 'list extract rebuild --help --version' -- "$current")
        return 0
    fi
    if ((COMP_CWORD != 2)); then
        return 0
    fi

    local extensions=' gdg pix azp '
    case "${COMP_WORDS[1]}" in
        list | extract | rebuild) ;;
        *) return 0 ;;
    esac

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
