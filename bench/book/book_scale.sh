#!/usr/bin/env bash
# How the book's operations grow with its pages: books of N pages (4 products
# each, every product with a small JPEG of its own) are opened, grown and
# shrunk, and published as frameset site, ZIP, MHT, package and CHM through
# quillbook-drive, and the seconds of each run are printed with the ratio to
# the size before. A ratio near the ratio of the sizes is linear growth; one
# well above it is work repeated per page.
#
# Usage: bench/book/book_scale.sh PROGRAM_FOLDER [SIZE...]   (default sizes 50 200 800)
# PROGRAM_FOLDER is a Release build's program folder (build-rel/program).
set -euo pipefail
. "$(dirname "$0")/../scale_rows.sh"
Program=$(cd "$1" && pwd); shift
Sizes=("$@")
[ $# -eq 0 ] && Sizes=(50 200 800)
Work=$(mktemp -d)
trap 'rm -rf "$Work"' EXIT
cp -r "$Program" "$Work/home"
Drive="$Work/home/quillbook-drive"

make_book() {   # N FOLDER
  /usr/bin/python3 - "$1" "$2" <<'PY'
import os, sys
from PIL import Image
n, root = int(sys.argv[1]), sys.argv[2]
os.makedirs(root + "/out", exist_ok=True)
head = ["QBT FILE TYPE 2.0", "{Catalog编号}=CT-%d", "{Catalog名称}=页面%d", "{业务员名}=王五", "{客户编号}=C-9",
        "{客户名称}=李四", "{客户公司名}=李氏贸易", "{日期}=2026-12-7", "{货币符号}=￥", "{产品单位}=个", "{重量单位}=克",
        "{图片宽}=0", "{图片高}=0", "{输出目录}= ", "{输出方式}=HTML(网页文件类型)", "{输出风格}=春天系列",
        "{输出语言}=中文", "{订单接收email地址}=order@example.invalid", "{图片框百分比}=75", "{Catalog说明}= ",
        "/*以下内容均由程序自动生成，一般用户无需自行修改。", "{detail}", ""]
entries = []
for i in range(1, n + 1):
    lines = [l.replace("%d", str(i)) for l in head]
    for k in range(4):
        pic = "%s/p%d_%d.jpg" % (root, i, k)
        Image.new("RGB", (64, 48), ((i * 7 + k * 40) % 255, 100, 200)).save(pic, quality=80)
        lines += ["{$%d}" % (k + 1), "{$IMG}=" + pic, "{$PID}=P%d-%d" % (i, k), "{$PNAME}=商品%d-%d" % (i, k),
                  "{$PPRICE}=%d.50" % (k + 1), "{$PUNIT}=个", "{$PWEIGHT}=1", "{$PSERIAL}=S", "{$PNOTE}=说明"]
    page = "%s/页面%d.qbt" % (root, i)
    open(page, "wb").write(("\r\n".join(lines) + "\r\n").encode("gbk"))
    entries.append(page)
book = ["Catalog_name=书%d" % n, "catalog_index_name=", "Catalog_Lost_name=", "Catalog_Output=" + root + "/out",
        "Catalog_fulltext_search=true", "Catalog_always_open=false", "Catalog_move_v=false", "{$Files}"] + entries
open(root + "/book.qbs", "wb").write(("\r\n".join(book) + "\r\n").encode("gbk"))
PY
}

seconds() {   # SCRIPT-TEXT BOOK
  printf '%b' "$1" > "$Work/script.txt"
  local S E
  S=$(date +%s.%N)
  "$Drive" --home "$Work/home" "$Work/script.txt" -- "$2" >/dev/null 2>&1 || echo "(run failed)" >&2
  E=$(date +%s.%N)
  echo "$E - $S" | bc
}

declare -A Prev
Add="wait\n"; Del="wait\n"
for K in $(seq 1 20); do
  Add+="click N2\nset-cell CellGrid1 5 1 新$K\nanswer file @/new$K.qbt\nclick SpeedButton9\nwait\n"
  Del+="select ListBox1 5\nanswer button Yes\nclick SpeedButton13\nwait\n"
done
printf '%-14s' "pages"; for N in "${Sizes[@]}"; do printf '%18s' "$N"; done; echo
for N in "${Sizes[@]}"; do
  make_book "$N" "$Work/b$N"
  # Pages are added to and removed from a second book of the same pages, so
  # the outputs publish the book as it was made.
  cp "$Work/b$N/book.qbs" "$Work/b$N/edited.qbs"
done
for Op in open add20 remove20 HTML4 ZIP4 MHT2 Catalog2 CHM4; do
  scale_row 14 "$Op"
  for N in "${Sizes[@]}"; do
    B="$Work/b$N/book.qbs"
    case $Op in
      open) T=$(seconds "wait\nquit\n" "$B") ;;
      add20) T=$(seconds "${Add//@/$Work/b$N}quit\n" "$Work/b$N/edited.qbs") ;;
      remove20) T=$(seconds "${Del}quit\n" "$Work/b$N/edited.qbs") ;;
      *) T=$(seconds "wait\nclick $Op\nwait\nexpect-prompts 0\nquit\n" "$B") ;;
    esac
    scale_cell "$T"
  done
  scale_end
done
