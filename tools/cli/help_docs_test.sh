#!/usr/bin/env bash
# The man page (made as `make dist` makes it) and the Windows user's guide
# name every subcommand and every option that the program's help lists, and
# every command's help gives 130 (Ctrl-C) and 143 (SIGTERM), each code on a
# line of its own in the man page too.
#   help_docs_test.sh PATH/TO/velkarin SOURCE_DIR
set -uo pipefail
program=$1
source_dir=$2
guide=$source_dir/packaging/README.txt.in
for tool in help2man man; do
  command -v $tool >/dev/null || { echo "help_docs_test: needs $tool (scripts/install-deps.sh)" >&2; exit 1; }
done
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

"$source_dir/scripts/dist/subcommand-help.sh" "$program" >"$dir/commands.h2m" || fail "subcommand-help.sh"
help2man --no-info --section 1 --name test --include "$dir/commands.h2m" --output "$dir/velkarin.1" \
  "$program" || fail "help2man"
MANWIDTH=100 man -l "$dir/velkarin.1" 2>/dev/null | col -b >"$dir/man.txt"

commands=$("$program" --help | sed -n '/^Subcommands:$/,/^$/{s/^  \([a-z][a-z-]*\) .*/\1/p}')
[ -n "$commands" ] || fail "velkarin --help lists no subcommand"
for command in $commands; do
  grep -Eq "^   $command\$" "$dir/man.txt" || fail "the man page has no section for $command"
  grep -Eq "velkarin $command( |\$)" "$guide" || fail "the guide does not show velkarin $command"
  "$program" "$command" --help >"$dir/help" || fail "$command --help"
  for code in 130 143; do
    grep -Eq "^  $code  " "$dir/help" || fail "$command --help gives no exit code $code"
  done
  for option in $(grep -Eo -- '--[a-z][a-z-]+' "$dir/help" | sort -u); do
    grep -q -- "$option" "$dir/man.txt" || fail "the man page lacks $command $option"
    grep -q -- "$option" "$guide" || fail "the guide lacks $command $option"
  done
done
# help2man joins lines it does not see as a code and its text.
if grep -Eq '[^[:space:]].*[[:space:]](130|143)[[:space:]]' "$dir/man.txt"; then
  fail "an exit code runs into another line: $(grep -E '[^[:space:]].*[[:space:]](130|143)[[:space:]]' "$dir/man.txt")"
fi

if [ $failures -ne 0 ]; then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "man page and guide name every command and option"
