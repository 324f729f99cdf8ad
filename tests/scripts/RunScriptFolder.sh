#!/usr/bin/env bash
# scripts/run.sh starts the program in the folder the user ran it from (where the file dialogs open
# and where relative file names on its command line are found), whatever folder it builds in. The
# script runs from a copy of the source tree whose setup, cmake and program are stand-ins: the
# program writes down its folder and arguments.
# Usage: RunScriptFolder.sh SOURCE_DIR WORKDIR
set -eu
source_dir=$1
work=$2
rm -rf "$work" && mkdir -p "$work/tree/scripts" "$work/bin" "$work/user folder"
cp "$source_dir/scripts/run.sh" "$work/tree/scripts/run.sh"
printf '#!/usr/bin/env bash\n' >"$work/tree/scripts/setup.sh"
# The stand-in cmake "builds" a program that records where it runs.
cat >"$work/bin/cmake" <<'CMAKE'
#!/usr/bin/env bash
if [[ $1 == --build ]]; then
  mkdir -p "$2/src"
  cat >"$2/src/korvaline" <<'PROGRAM'
#!/usr/bin/env bash
{ pwd; printf '%s\n' "$@"; } >"$KV_RUN_RECORD"
PROGRAM
  chmod +x "$2/src/korvaline"
fi
CMAKE
chmod +x "$work/bin/cmake"
export KV_RUN_RECORD="$work/record"
cd "$work/user folder"
PATH="$work/bin:$PATH" bash ../tree/scripts/run.sh -nosplash eq.pvx ||
  { echo "run.sh failed"; exit 1; }
expected=$(printf '%s\n' "$work/user folder" -nosplash eq.pvx)
if [[ $(cat "$work/record") != "$expected" ]]; then
  echo "run.sh started the program with:"; cat "$work/record"
  echo "expected:"; echo "$expected"
  exit 1
fi
echo "run script folder: ok"
