# bash completion for quillon                              -*- shell-script -*-
#
# Options are completed only before the first file argument, as quillon
# reads them; an option word may be any unique prefix of its full name.
# Needs nothing of the bash-completion package, so it also works sourced
# on its own.

# The full option word that `word` abbreviates, or nothing when none or
# several do.
_quillon_option() {
    local word=$1 option found=
    [[ $word == -* ]] || return
    for option in -delete -quiet -extended -dest -mode -plain -dir \
                  -keywords -errors -log -unlog -dos -files; do
        if [[ $option == "$word"* ]]; then
            [[ -n $found ]] && return
            found=$option
        fi
    done
    [[ -n $found ]] && printf '%s\n' "$found"
}

_quillon() {
    local cur=${COMP_WORDS[COMP_CWORD]} i word option takes_argument=
    COMPREPLY=()

    # --help and --version mean something only as the first word.
    if ((COMP_CWORD == 1)) && [[ $cur == --* ]]; then
        mapfile -t COMPREPLY < <(compgen -W '--help --version' -- "$cur")
        return
    fi

    # Walk the words before the cursor as quillon's option loop does.
    for ((i = 1; i < COMP_CWORD; i++)); do
        word=${COMP_WORDS[i]}
        if [[ -n $takes_argument ]]; then
            takes_argument=
            option=
            continue
        fi
        # The first word without "-" ends the options: all later are files.
        if [[ $word != -* ]]; then
            compopt -o filenames 2>/dev/null
            mapfile -t COMPREPLY < <(compgen -f -- "$cur")
            return
        fi
        option=$(_quillon_option "$word")
        case $option in
            -dest | -mode | -keywords | -errors | -log | -unlog | -files)
                takes_argument=1 ;;
        esac
    done

    if [[ -n $takes_argument ]]; then
        case $option in
            -dest | -log | -unlog)
                compopt -o filenames 2>/dev/null
                mapfile -t COMPREPLY < <(compgen -d -- "$cur") ;;
            -errors | -files)
                compopt -o filenames 2>/dev/null
                mapfile -t COMPREPLY < <(compgen -f -- "$cur") ;;
        esac
        # -mode and -keywords take free text: nothing to offer.
        return
    fi

    if [[ $cur == -* ]]; then
        mapfile -t COMPREPLY < <(compgen -W '-delete -quiet -extended -dest
            -mode -plain -dir -keywords -errors -log -unlog -dos -files' \
            -- "$cur")
    else
        compopt -o filenames 2>/dev/null
        mapfile -t COMPREPLY < <(compgen -f -- "$cur")
    fi
} &&
    complete -F _quillon quillon

# ex: filetype=sh
