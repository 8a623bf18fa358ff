#!/usr/bin/env bash
# A help2man include with a section per subcommand, made from the program's
# own `SUBCOMMAND --help`, so the man page shows them as the program does.
# Without SUBCOMMANDs, every one that `PROGRAM --help` lists.
#   subcommand-help.sh PROGRAM [SUBCOMMAND...] > FILE
set -euo pipefail
program=$1
shift
if [ $# -eq 0 ]; then
  # shellcheck disable=SC2046
  set -- $("$program" --help | sed -n '/^Subcommands:$/,/^$/{s/^  \([a-z][a-z-]*\) .*/\1/p}')
fi
[ $# -gt 0 ] || { echo "subcommand-help: $program --help lists no subcommand" >&2; exit 1; }
echo "[COMMANDS]"
for command in "$@"; do
  echo ".SS $command"
  echo ".nf"
  # roff: a backslash is escaped, a line may not begin with a dot or quote.
  "$program" "$command" --help | sed -e 's/\\/\\e/g' -e "s/^\([.']\)/\\\\\&\1/"
  echo ".fi"
done
