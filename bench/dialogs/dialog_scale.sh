#!/usr/bin/env bash
# How the start-up, the start dialog and the search dialog grow with their
# input: a history of N books, a default book (目录册/default.qbs) of N pages,
# a picture folder of N JPEGs given at start-up, and a search over N pages
# listed in the page history, each with hits. The seconds of each run of
# quillbook-drive are printed with the ratio to the size before; a ratio well
# above the ratio of the sizes is work repeated per item.
#
# Usage: bench/dialogs/dialog_scale.sh PROGRAM_FOLDER [SIZE...]   (default 2000 8000)
# PROGRAM_FOLDER is a Release build's program folder (build-rel/program).
set -euo pipefail
. "$(dirname "$0")/../scale_rows.sh"
Program=$(cd "$1" && pwd); shift
Sizes=("$@")
[ $# -eq 0 ] && Sizes=(2000 8000)
Work=$(mktemp -d)
trap 'rm -rf "$Work"' EXIT

make_case() {   # N ROOT
  /usr/bin/python3 - "$1" "$2" <<'PY'
import os, sys
from PIL import Image
n, root = int(sys.argv[1]), sys.argv[2]
os.makedirs(root + "/pages", exist_ok=True)
os.makedirs(root + "/pics", exist_ok=True)
head = ["QBT FILE TYPE 2.0", "{Catalog编号}=CT-1", "{Catalog名称}=页面", "{输出语言}=中文",
        "/*以下内容均由程序自动生成，一般用户无需自行修改。", "{detail}", ""]
pages = []
for i in range(n):
    lines = list(head)
    for k in range(4):
        lines += ["{$%d}" % (k + 1), "{$PID}=P%d-%d" % (i, k), "{$PNAME}=特价商品%d" % k, "{$PPRICE}=1.50"]
    p = "%s/pages/页面%d.qbt" % (root, i)
    open(p, "wb").write(("\r\n".join(lines) + "\r\n").encode("gbk"))
    pages.append(p)
open(root + "/history.txt", "wb").write(("\r\n".join(pages) + "\r\n").encode("gbk"))
# Book history: every second book is missing.
books = ["%s/books/书%d.qbs" % (root, i) for i in range(n)]
os.makedirs(root + "/books", exist_ok=True)
for i, b in enumerate(books):
    if i % 2 == 0:
        open(b, "wb").write(("Catalog_name=书\r\n{$Files}\r\n" + pages[i] + "\r\n").encode("gbk"))
open(root + "/cts_history.txt", "wb").write(("\r\n".join(books) + "\r\n").encode("gbk"))
book = ["Catalog_name=默认", "catalog_index_name=", "Catalog_Lost_name=", "Catalog_Output=" + root + "/out",
        "Catalog_fulltext_search=true", "Catalog_always_open=false", "Catalog_move_v=false", "{$Files}"] + pages
open(root + "/default.qbs", "wb").write(("\r\n".join(book) + "\r\n").encode("gbk"))
img = Image.new("RGB", (32, 24), (100, 150, 200))
for i in range(n):
    img.save("%s/pics/p%05d.jpg" % (root, i), quality=70)
PY
}

seconds() {   # HOME SCRIPT-TEXT [ARG...]
  local Home=$1 Text=$2; shift 2
  printf '%b' "$Text" > "$Work/script.txt"
  local S E
  S=$(date +%s.%N)
  "$Home/quillbook-drive" --home "$Home" "$Work/script.txt" -- "$@" >"$Work/out.txt" 2>&1 || { echo "(run failed)" >&2; tail -5 "$Work/out.txt" >&2; }
  E=$(date +%s.%N)
  echo "$E - $S" | bc
}

for N in "${Sizes[@]}"; do make_case "$N" "$Work/c$N"; done
printf '%-22s' "items"; for N in "${Sizes[@]}"; do printf '%18s' "$N"; done; echo
for Op in start-dialog clear-missing new-page-default open-book picture-folder search-all search-book; do
  scale_row 22 "$Op"
  for N in "${Sizes[@]}"; do
    C="$Work/c$N"; H="$Work/h$N"
    rm -rf "$H"; cp -r "$Program" "$H"
    cp "$C/cts_history.txt" "$C/history.txt" "$H/"
    case $Op in
      start-dialog) T=$(seconds "$H" "text Form2\nclick Form2.Button5\nwait\nquit\n") ;;
      clear-missing) T=$(seconds "$H" "answer button OK\nclick Form2.Button3\nclick Form2.Button5\nwait\nquit\n") ;;
      new-page-default) cp "$C/default.qbs" "$H/目录册/default.qbs"
         T=$(seconds "$H" "click Form2.Button1\nwait\nquit\n") ;;
      open-book) T=$(seconds "$H" "wait\nquit\n" "$C/default.qbs") ;;
      picture-folder) T=$(seconds "$H" "wait\nquit\n" "$C/pics") ;;
      search-all) T=$(seconds "$H" "click Form2.Button1\nwait\nanswer button OK\nclick N100\ntype Form8.Edit1 特价\nclick Form8.Button1\nwait\nquit\n") ;;
      search-book) T=$(seconds "$H" "wait\nanswer button OK\nclick N100\nclick Form8.RadioButton2\ntype Form8.Edit1 特价\nclick Form8.Button1\nwait\nquit\n" "$C/default.qbs") ;;
    esac
    scale_cell "$T"
  done
  scale_end
done
