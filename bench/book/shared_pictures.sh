#!/usr/bin/env bash
# A book whose pages share their pictures, published as a frameset site
# (HTML4) through quillbook-drive, beside copying the same pictures and pages
# once with `cp -r` and syncing the copies (`sync FILE...`), which is what the
# site holds and how durably it is written. Four pages each show the same 100
# pictures (noise JPEGs of about 300 KB). The program's time is net of
# opening the book (the idle run); each round runs both, and the medians and
# their ratio are printed, with the goal of at most 1.5.
#
# Usage: bench/book/shared_pictures.sh PROGRAM_FOLDER [ROUNDS] [PAGES] [PICTURES]
# PROGRAM_FOLDER is a Release build's program folder (build-rel/program).
set -euo pipefail
Program=$(cd "$1" && pwd)
Rounds=${2:-5}
Pages=${3:-4}
Pictures=${4:-100}
Work=$(mktemp -d)
trap 'rm -rf "$Work"' EXIT
cp -r "$Program" "$Work/home"
Drive="$Work/home/quillbook-drive"

/usr/bin/python3 - "$Work" "$Pages" "$Pictures" <<'PY'
import os, sys, random
from PIL import Image
work, pages, count = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
os.makedirs(work + "/pics"); os.makedirs(work + "/pages"); os.makedirs(work + "/out")
rnd = random.Random(7)
pics = []
for k in range(count):
    p = "%s/pics/p%03d.jpg" % (work, k)
    Image.frombytes("RGB", (480, 360), rnd.randbytes(480 * 360 * 3)).save(p, quality=85)
    pics.append(p)
head = ["QBT FILE TYPE 2.0", "{Catalog编号}=SP-%d", "{Catalog名称}=页面%d", "{业务员名}=王五", "{客户编号}=C-9",
        "{客户名称}=李四", "{客户公司名}=李氏贸易", "{日期}=2026-12-7", "{货币符号}=￥", "{产品单位}=个", "{重量单位}=克",
        "{图片宽}=0", "{图片高}=0", "{输出目录}= ", "{输出方式}=HTML(网页文件类型)", "{输出风格}=春天系列",
        "{输出语言}=中文", "{订单接收email地址}=order@example.invalid", "{图片框百分比}=75", "{Catalog说明}= ",
        "/*以下内容均由程序自动生成，一般用户无需自行修改。", "{detail}", ""]
entries = []
for i in range(1, pages + 1):
    lines = [l.replace("%d", str(i)) for l in head]
    for k, pic in enumerate(pics):
        lines += ["{$%d}" % (k + 1), "{$IMG}=" + pic, "{$PID}=P%d-%d" % (i, k), "{$PNAME}=商品%d-%d" % (i, k),
                  "{$PPRICE}=%d.50" % (k + 1), "{$PUNIT}=个", "{$PWEIGHT}=1", "{$PSERIAL}=S", "{$PNOTE}=说明"]
    page = "%s/pages/页面%d.qbt" % (work, i)
    open(page, "wb").write(("\r\n".join(lines) + "\r\n").encode("gbk"))
    entries.append(page)
book = ["Catalog_name=共用图片", "catalog_index_name=", "Catalog_Lost_name=", "Catalog_Output=" + work + "/out",
        "Catalog_fulltext_search=true", "Catalog_always_open=false", "Catalog_move_v=false", "{$Files}"] + entries
open(work + "/book.qbs", "wb").write(("\r\n".join(book) + "\r\n").encode("gbk"))
PY

seconds() {   # COMMAND...
  local S E
  S=$(date +%s.%N)
  "$@" >/dev/null 2>&1 || echo "(run failed: $*)" >&2
  E=$(date +%s.%N)
  echo "$E - $S" | bc
}
drive() {   # SCRIPT-TEXT
  printf '%b' "$1" > "$Work/script.txt"
  "$Drive" --home "$Work/home" "$Work/script.txt" -- "$Work/book.qbs"
}
peer() {
  rm -rf "$Work/peer"
  mkdir -p "$Work/peer/images"
  cp -r "$Work"/pics/. "$Work/peer/images/" && cp -r "$Work"/pages/. "$Work/peer/images/"
  sync "$Work"/peer/images/*
}
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

Ours=(); Peers=()
for R in $(seq 1 "$Rounds"); do
  rm -rf "$Work/out/book"
  sync
  Idle=$(seconds drive "wait\nquit\n")
  Run=$(seconds drive "wait\nclick HTML4\nwait\nexpect-prompts 0\nquit\n")
  Images=$(find "$Work/out/book/images" -name 'p*.jpg' | wc -l)
  [ "$Images" -eq "$Pictures" ] || echo "round $R: the site holds $Images pictures, not $Pictures" >&2
  Ours+=("$(echo "$Run - $Idle" | bc)")
  sync
  Peers+=("$(seconds peer)")
done
O=$(printf '%s\n' "${Ours[@]}" | median)
P=$(printf '%s\n' "${Peers[@]}" | median)
Ratio=$(echo "$O / $P" | bc -l)
printf 'book of %d pages sharing %d pictures, %d rounds, load %s\n' "$Pages" "$Pictures" "$Rounds" "$(cut -d' ' -f1-3 /proc/loadavg)"
printf '%-34s %8.2f s  (rounds: %s)\n' "frameset site (HTML4), net" "$O" "${Ours[*]}"
printf '%-34s %8.2f s  (rounds: %s)\n' "cp -r + sync of the copies" "$P" "${Peers[*]}"
printf '%-34s %8.2f   goal <= 1.5: %s\n' "ratio" "$Ratio" "$(echo "$Ratio <= 1.5" | bc | sed 's/1/met/;s/0/NOT met/')"
