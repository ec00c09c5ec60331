# bash completion for kestrelctl. Commands, options and the values an option
# lists are read from the tool's own --help, so they follow the tool.
_kestrelctl() {
  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}
  local tool=${COMP_WORDS[0]} command="" word i
  for ((i = 1; i < COMP_CWORD; i++)); do
    word=${COMP_WORDS[i]}
    case $word in
      -a | --address | -p | --port | -i | --interface) ((i++)) ;;
      -*) ;;
      *) command=$word; break ;;
    esac
  done
  local help
  help=$("$tool" ${command:+"$command"} --help 2>/dev/null) || return 0
  case $prev in
    -a | --address | -p | --port) return 0 ;;
    -i | --interface)
      COMPREPLY=($(compgen -W "$("$tool" interfaces 2>/dev/null | tr -d '()')" -- "$cur"))
      return 0 ;;
    --*)
      # A value list in the help, as in "--period start-stop|0.1|1|10".
      local values
      values=$(sed -n "s/^ *${prev} \([^ ]*|[^ ]*\) .*/\1/p" <<<"$help" | head -n 1)
      if [[ -n $values ]]; then
        COMPREPLY=($(compgen -W "${values//|/ }" -- "$cur"))
        return 0
      fi ;;
  esac
  if [[ $cur == -* || -n $command ]]; then
    COMPREPLY=($(compgen -W "$(grep -o -- '--[a-z][a-z-]*' <<<"$help" | sort -u)" -- "$cur"))
  else
    COMPREPLY=($(compgen -W "$(sed -n '/^Commands:/,/^$/{/^  [a-z]/s/^  \([a-z]*\).*/\1/p}' <<<"$help")" -- "$cur"))
  fi
}
complete -F _kestrelctl kestrelctl
