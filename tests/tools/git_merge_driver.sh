#!/usr/bin/env bash
# git with "dorvanta-cli merge" as the merge driver of collections: branches that
# changed different entries merge cleanly, plain and encrypted; one entry changed
# on both branches makes git report a conflict and leaves the conflict copy in
# the file.
# Usage: git_merge_driver.sh PATH/TO/dorvanta-cli
set -euo pipefail
cli=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# git reads the repository's configuration and nothing else.
unset GIT_DIR GIT_WORK_TREE GIT_INDEX_FILE GIT_OBJECT_DIRECTORY GIT_CONFIG_PARAMETERS \
  GIT_CONFIG_COUNT GIT_CONFIG_GLOBAL GIT_CONFIG_SYSTEM
export HOME=$work GIT_CONFIG_NOSYSTEM=1 LC_ALL=C.UTF-8 GIT_MERGE_AUTOEDIT=no

failures=0
check() {  # check WHAT COMMAND...
  local what=$1
  shift
  if "$@"; then echo "ok: $what"; else echo "FEHLER: $what" >&2; failures=$((failures + 1)); fi
}
contains() { grep -qF -- "$2" <<<"$1"; }
lacks() { ! grep -qF -- "$2" <<<"$1"; }

# save FILE A_VALUE A_DATE B_VALUE B_DATE: the collection Ober/Unter with entries
# A and B, as FILE; a *.pdt.age file encrypted under "Geheim".
save() {
  printf '{"keys": [{"parent": "Ober", "name": "Unter", "entries": [
    {"title": "A", "value": "%s", "date": %s}, {"title": "B", "value": "%s", "date": %s}]}]}' \
    "$2" "$3" "$4" "$5" >"$work/in.json"
  if [[ $1 == *.age ]]; then
    "$cli" build "$work/in.json" "$work/in.pdt"
    "$cli" encrypt "$work/in.pdt" "$1" --password Geheim
  else
    "$cli" build "$work/in.json" "$1"
  fi
}
commit() { git add -A && git commit -q -m "$1"; }
# diverge FILE BRANCH "BRANCH'S ENTRIES" "MAIN'S ENTRIES": a new branch from main
# and main itself each commit FILE with other entries (the save arguments).
diverge() {
  local file=$1 branch=$2 theirs ours
  read -ra theirs <<<"$3"
  read -ra ours <<<"$4"
  git checkout -q -b "$branch"
  save "$file" "${theirs[@]}"
  commit "$file auf $branch"
  git checkout -q main
  save "$file" "${ours[@]}"
  commit "$file auf main"
}

repo=$work/repo
git init -q -b main "$repo"
cd "$repo"
git config user.name "Test"
git config user.email "test@example.invalid"
git config merge.dorvanta.name "Dorvanta-Sammlungen"
git config merge.dorvanta.driver "$cli merge %O %A %B %A"
printf '*.pdt merge=dorvanta\n*.pdt.age merge=dorvanta\n' >.gitattributes
save sammlung.pdt a0 40000.5 b0 40000.5
commit Basis

# Different entries on each branch.
diverge sammlung.pdt links "a1 40001.5 b0 40000.5" "a0 40000.5 b2 40002.5"
check "different entries merge cleanly" git merge -q --no-edit links
dump=$("$cli" dump sammlung.pdt)
check "the merge holds both changes" contains "$dump" '"value": "a1"'
check "the merge holds both changes" contains "$dump" '"value": "b2"'
check "no conflict copy" lacks "$dump" "Konflikt"

# The same entry on both branches.
diverge sammlung.pdt rechts "a3 40003.5 b2 40002.5" "a4 40004.5 b2 40002.5"
if output=$(git merge --no-edit rechts 2>&1); then merged=0; else merged=1; fi
check "git reports the conflict" test "$merged" = 1
check "git names the file" contains "$output" "CONFLICT (content): Merge conflict in sammlung.pdt"
check "the file is unmerged" test "$(git diff --name-only --diff-filter=U)" = sammlung.pdt
dump=$("$cli" dump sammlung.pdt)
check "the later change keeps the title" contains "$dump" '{"title": "A", "value": "a4"'
check "the other is the conflict copy" \
  contains "$dump" '{"title": "A (Konflikt vom 09.07.2009 12:00)", "value": "a3"'
git merge --abort

# An encrypted collection stays encrypted; here the driver gets the password.
git config merge.dorvanta.driver "$cli merge %O %A %B %A --password Geheim"
save tresor.pdt.age a0 40000.5 b0 40000.5
commit "Tresor"
diverge tresor.pdt.age tresor "a5 40005.5 b0 40000.5" "a0 40000.5 b6 40006.5"
check "encrypted collections merge cleanly" git merge -q --no-edit tresor
check "the merge is encrypted" test "$(head -c 21 tresor.pdt.age)" = "age-encryption.org/v1"
dump=$("$cli" dump tresor.pdt.age --password Geheim)
check "the encrypted merge holds both changes" contains "$dump" '"value": "a5"'
check "the encrypted merge holds both changes" contains "$dump" '"value": "b6"'

if ((failures > 0)); then
  echo "$failures Prüfungen fehlgeschlagen" >&2
  exit 1
fi
