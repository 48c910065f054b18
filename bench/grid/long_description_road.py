"""The user's road with a very long product description, in the built program.

quillbook-drive opens a page on a copy of the program folder, selects the
description cell, types the description into the cell editor, waits until the
program is idle, saves the page and quits. The time of the whole run is printed
per description length (the best of 3 runs), beside the same run with an empty
description (which is mostly the program's start), and the saved page is
checked to hold the description whole.

    /usr/bin/python3 bench/grid/long_description_road.py [--mixed] [PROGRAM_FOLDER [LENGTH ...]]
    /usr/bin/python3 bench/grid/long_description_road.py --typing [PROGRAM_FOLDER [PRODUCTS ...]]

PROGRAM_FOLDER defaults to build-bench/program; lengths default to 0 50000
200000. --mixed types a description mixing Latin words and Chinese. A run is
stopped after 120 seconds; a length whose first run is stopped is not run again.

--typing is the road of a user typing into a page of many products: the page
holds PRODUCTS products (default 1 and 500), the description of its middle
product is selected and 200 characters are typed into it key by key, the
program going idle after each key (as between a user's keys). Each page is
also run without typing; the difference is the cost of the keys.
"""

import os
import shutil
import subprocess
import sys
import tempfile
import time

PIECE = "本产品采用优质不锈钢材料，经久耐用，适合家庭和餐厅使用。"
MIXED = "Stainless steel 304 不锈钢材料, size 20x30 cm 经久耐用 and easy to clean 适合家庭. "
KEYS = 200

HEADER = [
    "QBT FILE TYPE 2.0", "{Catalog编号}=P1", "{Catalog名称}=春季报价", "{业务员名}=王五", "{客户编号}=C-9",
    "{客户名称}=李四", "{客户公司名}=李氏贸易", "{日期}=2026-12-7", "{货币符号}=￥", "{产品单位}=个", "{重量单位}=克",
    "{图片宽}=0", "{图片高}=0", "{输出目录}=", "{输出方式}=HTML(网页文件类型)", "{输出风格}=春天系列",
    "{输出语言}=中文", "{订单接收email地址}=order@example.com", "{图片框百分比}=75", "{Catalog说明}=说明",
    "/*以下内容均由程序自动生成，一般用户无需自行修改。", "{detail}", "",
]


def page_lines(products):
    lines = list(HEADER)
    for n in range(1, products + 1):
        lines += ["{$%d}" % n, "{$IMG}=", "{$PID}=A-%03d" % n, "{$PNAME}=商品%d" % n, "{$PPRICE}=1.50",
                  "{$PUNIT}=件", "{$PWEIGHT}=5", "{$PSERIAL}=大号", "{$PNOTE}=短"]
    return lines


def run(program, lines, script, expected):
    """One run of the program on a page of lines; returns (seconds or None, ok)."""
    home = tempfile.mkdtemp(prefix="road-home-")
    docs = tempfile.mkdtemp(prefix="road-docs-")
    try:
        shutil.rmtree(home)
        shutil.copytree(program, home, symlinks=True)
        page = os.path.join(docs, "p.qbt")
        with open(page, "wb") as f:
            f.write(("\r\n".join(lines) + "\r\n").encode("gb18030"))
        start = time.monotonic()
        try:
            result = subprocess.run([os.path.join(program, "quillbook-drive"), "--home", home, "-", "--", page],
                                    input=script.encode(), capture_output=True, timeout=120)
        except subprocess.TimeoutExpired:
            return None, False
        seconds = time.monotonic() - start
        with open(page, "rb") as f:
            stored = expected.encode("gb18030") in f.read()
        return seconds, result.returncode == 0 and stored
    finally:
        shutil.rmtree(home, ignore_errors=True)
        shutil.rmtree(docs, ignore_errors=True)


def best_of_3(program, lines, script, expected):
    runs = [run(program, lines, script, expected)]
    if runs[0][0] is not None:
        runs += [run(program, lines, script, expected) for _ in range(2)]
    seconds = min((r[0] for r in runs if r[0] is not None), default=None)
    return seconds, all(r[1] for r in runs)


def long_description(program, lengths, piece):
    base = None
    print("| characters | run | beside the empty description | stored whole |")
    print("|---|---|---|---|")
    for length in lengths:
        text = (piece * (length // len(piece) + 1))[:length] + "X"
        script = ("wait\nselect-cell CellGrid1 3 4\nwait\ntype Edit1 %s\nwait\nclick SpeedButton9\nwait\nprompts\nquit\n"
                  % text)
        seconds, ok = best_of_3(program, page_lines(1), script, "{$PNOTE}=" + text + "\r\n")
        if seconds is None:
            print("| %d | more than 120 s | | no |" % length)
            continue
        if length == 0:
            base = seconds
        extra = "+%.2f s" % (seconds - base) if base is not None else ""
        print("| %d | %.2f s | %s | %s |" % (length, seconds, extra, "yes" if ok else "no"))
        sys.stdout.flush()


def typing(program, counts):
    text = (PIECE * (KEYS // len(PIECE) + 1))[:KEYS]
    print("| products | run without typing | run typing %d keys | per key | stored |" % KEYS)
    print("|---|---|---|---|---|")
    for products in counts:
        row = 6 * ((products + 1) // 2) - 2
        start = "wait\nselect-cell CellGrid1 3 %d\nwait\n" % row
        end = "click SpeedButton9\nwait\nprompts\nquit\n"
        # The save button is enabled only by a change: the run without keys
        # changes the description once, in one go.
        idle, ok0 = best_of_3(program, page_lines(products), start + "type Edit1 短X\nwait\n" + end, "{$PNOTE}=短X\r\n")
        keys = "".join("keys Edit1 %s\nwait\n" % c for c in text)
        busy, ok1 = best_of_3(program, page_lines(products), start + keys + end, "{$PNOTE}=短" + text + "\r\n")
        if idle is None or busy is None:
            print("| %d | %s | %s | | no |" % (products, "%.2f s" % idle if idle else "more than 120 s",
                                              "%.2f s" % busy if busy else "more than 120 s"))
            continue
        print("| %d | %.2f s | %.2f s | %.2f ms | %s |" % (products, idle, busy, (busy - idle) * 1000 / KEYS,
                                                          "yes" if ok0 and ok1 else "no"))
        sys.stdout.flush()


def main():
    args = sys.argv[1:]
    mixed = "--mixed" in args
    keyed = "--typing" in args
    args = [a for a in args if a not in ("--mixed", "--typing")]
    program = args[0] if args else "build-bench/program"
    numbers = [int(a) for a in args[1:]]
    if keyed:
        typing(program, numbers or [1, 500])
    else:
        long_description(program, numbers or [0, 50000, 200000], MIXED if mixed else PIECE)


if __name__ == "__main__":
    main()
