# bash completion for twr: commands, each command's options, and the files each one reads.

_twr() {
  local cur prev words cword
  _init_completion || return

  local commands="decode show capture export import stream stats"
  if ((cword == 1)); then
    mapfile -t COMPREPLY < <(compgen -W "$commands --help --version" -- "$cur")
    return
  fi

  local options files
  case ${words[1]} in
    decode)
      options="-o --boxes --decode --objects --format --descriptors --hint --help"
      files='@(raw|pcap|pcapng)'
      ;;
    show)
      options="--boxes --decode --format --descriptors --hint --help"
      files='@(ovd|pcap|pcapng)'
      ;;
    capture)
      options="--size -o --raw --pcap --connect --disconnect --live --format --help"
      files='ovd'
      ;;
    export)
      options="--linktype --pcapng --help"
      files='@(raw|ovd|pcap|pcapng)'
      ;;
    import)
      options="--help"
      files='@(pcap|pcapng)'
      ;;
    stream)
      options="--address --endpoint --hex --raw --help"
      files='@(raw|ovd|pcap|pcapng)'
      ;;
    stats)
      options="--csv --help"
      files='@(raw|ovd|pcap|pcapng)'
      ;;
    *) return ;;
  esac

  # Values of options: what each one writes, or its few choices.
  case $prev in
    -o)
      _filedir ovd
      return
      ;;
    --raw)
      _filedir raw
      return
      ;;
    --pcap)
      _filedir '@(pcap|pcapng)'
      return
      ;;
    --linktype)
      mapfile -t COMPREPLY < <(compgen -W "288 294" -- "$cur")
      return
      ;;
    --descriptors)
      _filedir
      return
      ;;
    --format)
      mapfile -t COMPREPLY < <(compgen -W "text summary" -- "$cur")
      return
      ;;
    --size)
      mapfile -t COMPREPLY < <(compgen -W "128K 1M 4M 16M 64M" -- "$cur")
      return
      ;;
  esac

  if [[ $cur == -* ]]; then
    mapfile -t COMPREPLY < <(compgen -W "$options" -- "$cur")
  elif [[ ${words[1]} == export && $prev != "${words[1]}" && $prev != -* && $cword -ge 3 ]]; then
    _filedir '@(pcap|pcapng)'  # the second operand is the file written
  else
    _filedir "$files"
  fi
}
complete -F _twr twr
