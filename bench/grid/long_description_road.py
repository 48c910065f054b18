"""The user's road with a very long product description, in the built program.

quillbook-drive opens a page on a copy of the program folder, selects the
description cell, types the description into the cell editor, waits until the
program is idle, saves the page and quits. The time of the whole run is printed
per description length (the best of 3 runs), beside the same run with an empty
description (which is mostly the program's start), and the saved page is
checked to hold the description whole.

    /usr/bin/python3 bench/grid/long_description_road.py [PROGRAM_FOLDER [LENGTH ...]]

PROGRAM_FOLDER defaults to build-bench/program; lengths default to 0 50000
200000. A run is stopped after 120 seconds; a length whose first run is stopped is
not run again.
"""

import os
import shutil
import subprocess
import sys
import tempfile
import time

PIECE = "本产品采用优质不锈钢材料，经久耐用，适合家庭和餐厅使用。"

HEADER = [
    "QBT FILE TYPE 2.0", "{Catalog编号}=P1", "{Catalog名称}=春季报价", "{业务员名}=王五", "{客户编号}=C-9",
    "{客户名称}=李四", "{客户公司名}=李氏贸易", "{日期}=2026-12-7", "{货币符号}=￥", "{产品单位}=个", "{重量单位}=克",
    "{图片宽}=0", "{图片高}=0", "{输出目录}=", "{输出方式}=HTML(网页文件类型)", "{输出风格}=春天系列",
    "{输出语言}=中文", "{订单接收email地址}=order@example.com", "{图片框百分比}=75", "{Catalog说明}=说明",
    "/*以下内容均由程序自动生成，一般用户无需自行修改。", "{detail}", "",
    "{$1}", "{$IMG}=", "{$PID}=A-001", "{$PNAME}=商品1", "{$PPRICE}=1.50", "{$PUNIT}=件", "{$PWEIGHT}=5",
    "{$PSERIAL}=大号", "{$PNOTE}=短",
]


def run(program, length):
    home = tempfile.mkdtemp(prefix="road-home-")
    docs = tempfile.mkdtemp(prefix="road-docs-")
    try:
        shutil.rmtree(home)
        shutil.copytree(program, home, symlinks=True)
        page = os.path.join(docs, "p.qbt")
        with open(page, "wb") as f:
            f.write(("\r\n".join(HEADER) + "\r\n").encode("gb18030"))
        text = (PIECE * (length // len(PIECE) + 1))[:length] + "X"
        script = ("wait\nselect-cell CellGrid1 3 4\nwait\ntype Edit1 %s\nwait\nclick SpeedButton9\nwait\nprompts\nquit\n"
                  % text)
        start = time.monotonic()
        try:
            result = subprocess.run([os.path.join(program, "quillbook-drive"), "--home", home, "-", "--", page],
                                    input=script.encode(), capture_output=True, timeout=120)
        except subprocess.TimeoutExpired:
            return None, False
        seconds = time.monotonic() - start
        with open(page, "rb") as f:
            stored = ("{$PNOTE}=" + text + "\r\n").encode("gb18030") in f.read()
        return seconds, result.returncode == 0 and stored
    finally:
        shutil.rmtree(home, ignore_errors=True)
        shutil.rmtree(docs, ignore_errors=True)


def main():
    program = sys.argv[1] if len(sys.argv) > 1 else "build-bench/program"
    lengths = [int(a) for a in sys.argv[2:]] or [0, 50000, 200000]
    base = None
    print("| characters | run | beside the empty description | stored whole |")
    print("|---|---|---|---|")
    for length in lengths:
        runs = [run(program, length)]
        if runs[0][0] is not None:
            runs += [run(program, length) for _ in range(2)]
        seconds = min((r[0] for r in runs if r[0] is not None), default=None)
        ok = all(r[1] for r in runs)
        if seconds is None:
            print("| %d | more than 120 s | | no |" % length)
            continue
        if length == 0:
            base = seconds
        extra = "+%.2f s" % (seconds - base) if base is not None else ""
        print("| %d | %.2f s | %s | %s |" % (length, seconds, extra, "yes" if ok else "no"))
        sys.stdout.flush()


if __name__ == "__main__":
    main()
