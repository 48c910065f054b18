#!/usr/bin/python3
"""Workbooks for the tests of the grid's .xls reader, and xlrd's reading of them.

    xls_workbooks.py FOLDER          writes the workbooks into FOLDER and prints, as
                                     JSON, xlrd's reading of the sound ones
    xls_workbooks.py --seeds FOLDER  writes the few small workbooks that seed the
                                     reader's fuzz target

The cells are written by xlwt. The workbook stream is then taken apart into its
records and put together again with what xlwt never writes: a shared string
table cut into small CONTINUE records (strings split across them, with the
compressed/uncompressed flag changing at a split, rich text runs and phonetic
blocks split too), cached formula results with STRING records, a LABEL and an
RSTRING record, a FORMAT record in place of a built-in date format. The stream
goes into a compound file of our own making (512- or 4096-byte sectors, a mini
stream, a DIFAT chain), or into xlwt's. A BIFF5 workbook in code page 936 is
written record by record. The damaged workbooks break one rule each.
"""

import datetime
import json
import os
import struct
import sys

import xlrd
import xlwt
from xlwt import CompoundDoc

# ------------------------------------------------------------------ records

BOF, EOF, BOUNDSHEET, SST, CONTINUE, EXTSST, FORMAT, FORMULA, STRING, LABEL, RSTRING, LABELSST, WINDOW2 = (
    0x0809, 0x000A, 0x0085, 0x00FC, 0x003C, 0x00FF, 0x041E, 0x0006, 0x0207, 0x0204, 0x00D6, 0x00FD, 0x023E)


def records(stream):
    out, pos = [], 0
    while pos + 4 <= len(stream):
        rtype, size = struct.unpack_from('<HH', stream, pos)
        out.append([rtype, stream[pos + 4:pos + 4 + size]])
        pos += 4 + size
    return out


def join(recs):
    """The stream of the records, every BOUNDSHEET pointing at the BOF of its sheet."""
    offsets, pos = [], 0
    for rtype, data in recs:
        offsets.append(pos)
        pos += 4 + len(data)
    depth, sheet_bofs, globals_done = 0, [], False
    for i, (rtype, data) in enumerate(recs):
        if rtype == BOF:
            if globals_done and depth == 0:
                sheet_bofs.append(offsets[i])
            depth += 1
        elif rtype == EOF:
            depth -= 1
            globals_done = True
    sheet = 0
    for rec in recs:
        if rec[0] == BOUNDSHEET and sheet < len(sheet_bofs):
            rec[1] = struct.pack('<I', sheet_bofs[sheet]) + rec[1][4:]
            sheet += 1
    return b''.join(struct.pack('<HH', t, len(d)) + d for t, d in recs)


def sheet_records(recs, index):
    """The slice bounds (first, end) of the sheet substream number index."""
    depth, globals_done, seen = 0, False, -1
    for i, (rtype, _) in enumerate(recs):
        if rtype == BOF:
            if globals_done and depth == 0:
                seen += 1
                if seen == index:
                    first = i
            depth += 1
        elif rtype == EOF:
            depth -= 1
            if not globals_done:
                globals_done = True
            elif depth == 0 and seen == index:
                return first, i + 1
    raise ValueError('no sheet %d' % index)


def xlstring(text, lenlen=2):
    """An XLUnicodeString: compressed when every character fits a byte."""
    try:
        raw, flag = text.encode('latin-1'), 0
        count = len(raw)
    except UnicodeEncodeError:
        raw, flag = text.encode('utf-16-le'), 1
        count = len(raw) // 2
    return struct.pack('<B' if lenlen == 1 else '<H', count) + bytes([flag]) + raw


# ------------------------------------------------------------------ shared strings

def read_sst(recs, at):
    """The strings of the SST at recs[at] and its CONTINUE records: (text, runs)."""
    pieces = [recs[at][1][8:]]
    end = at + 1
    while end < len(recs) and recs[end][0] == CONTINUE:
        pieces.append(recs[end][1])
        end += 1
    count = struct.unpack_from('<I', recs[at][1], 4)[0]
    piece, pos, strings = 0, 0, []

    def take(n):
        nonlocal piece, pos
        out = b''
        while len(out) < n:
            if pos == len(pieces[piece]):
                piece, pos = piece + 1, 0
            k = min(n - len(out), len(pieces[piece]) - pos)
            out += pieces[piece][pos:pos + k]
            pos += k
        return out

    for _ in range(count):
        if pos == len(pieces[piece]):
            piece, pos = piece + 1, 0
        nchars, flags = struct.unpack('<HB', take(3))
        runs = struct.unpack('<H', take(2))[0] if flags & 8 else 0
        wide, units = flags & 1, []
        while len(units) < nchars:
            if pos == len(pieces[piece]):
                piece, pos = piece + 1, 0
                wide = pieces[piece][0] & 1
                pos = 1
            if wide:
                k = min(nchars - len(units), (len(pieces[piece]) - pos) // 2)
                units += struct.unpack_from('<%dH' % k, pieces[piece], pos)
                pos += 2 * k
            else:
                k = min(nchars - len(units), len(pieces[piece]) - pos)
                units += list(pieces[piece][pos:pos + k])
                pos += k
        text = struct.pack('<%dH' % len(units), *units).decode('utf-16-le')
        strings.append((text, take(4 * runs)))
    return strings, end


def write_sst(strings, total, record_size, phonetic_every=0):
    """An SST cut into records of at most record_size bytes. Characters are split
    across records at unit boundaries (never inside a surrogate pair); each
    continued part is compressed when its characters fit a byte, so the flag
    changes inside a string. Every phonetic_every-th string gets a phonetic block."""
    out = []            # finished records (data only)
    cur = bytearray(struct.pack('<II', total, len(strings)))

    def room():
        return record_size - len(cur)

    def flush():
        nonlocal cur
        out.append(bytes(cur))
        cur = bytearray()

    def put_split(data):
        # Bytes that may be cut anywhere (runs, phonetic blocks).
        while data:
            if room() == 0:
                flush()
            k = min(room(), len(data))
            cur.extend(data[:k])
            data = data[k:]

    for n, (text, runs) in enumerate(strings):
        units = struct.unpack('<%dH' % (len(text.encode('utf-16-le')) // 2), text.encode('utf-16-le'))
        phonetic = b''
        if phonetic_every and n % phonetic_every == 1:
            phonetic = struct.pack('<HHHHHH', 1, 12 + 2, 0, 0, 1, 1) + 'ア'.encode('utf-16-le')
        wide = any(u > 0xFF for u in units)
        flags = (1 if wide else 0) | (8 if runs else 0) | (4 if phonetic else 0)
        header = struct.pack('<HB', len(units), flags)
        if runs:
            header += struct.pack('<H', len(runs) // 4)
        if phonetic:
            header += struct.pack('<I', len(phonetic))
        # A header and at least one character stay together.
        first = 2 if wide else 1
        if room() < len(header) + (first if units else 0):
            flush()
        cur.extend(header)
        i, part_wide = 0, wide
        while i < len(units):
            if room() < (2 if part_wide else 1):
                flush()
                rest = units[i:]
                part_wide = any(u > 0xFF for u in rest[:max(1, record_size // 2)])
                cur.append(1 if part_wide else 0)
            size = 2 if part_wide else 1
            k = min(len(units) - i, room() // size)
            if part_wide and k < len(units) - i and 0xD800 <= units[i + k - 1] <= 0xDBFF:
                k -= 1
            if not part_wide:
                # a compressed part ends before the first character that needs two bytes
                j = 0
                while j < k and units[i + j] <= 0xFF:
                    j += 1
                k = j
                if k == 0:
                    # the flag cannot change inside a record: go on in a new one
                    flush()
                    part_wide = True
                    cur.append(1)
                    continue
            chunk = units[i:i + k]
            cur.extend(struct.pack('<%dH' % k, *chunk) if part_wide else bytes(chunk))
            i += k
        put_split(runs)
        put_split(phonetic)
    flush()
    return [[SST, out[0]]] + [[CONTINUE, d] for d in out[1:]]


# ------------------------------------------------------------------ compound files

FREESECT, ENDOFCHAIN, FATSECT, DIFSECT, NOSTREAM = 0xFFFFFFFF, 0xFFFFFFFE, 0xFFFFFFFD, 0xFFFFFFFC, 0xFFFFFFFF


def compound(streams, shift=9, min_fat=0, damage=None):
    """A compound file holding streams [(name, bytes)] below the root; a stream
    shorter than 4096 bytes goes into the mini stream."""
    ss, mss, cutoff = 1 << shift, 64, 4096
    per_sector = ss // 4
    mini, mini_fat, entries = b'', [], []
    for name, data in streams:
        if len(data) < cutoff:
            start = len(mini) // mss
            n = max(1, -(-len(data) // mss)) if data else 0
            mini_fat += [start + k + 1 for k in range(n - 1)] + ([ENDOFCHAIN] if n else [])
            mini += data + b'\0' * (n * mss - len(data))
            entries.append([name, data, True, start if n else ENDOFCHAIN])
        else:
            entries.append([name, data, False, None])
    if damage == 'minicycle':
        mini_fat[len(mini_fat) // 2] = 0          # back to the first sector of the stream
    dir_count = -(-(len(entries) + 1) // (ss // 128))
    mini_fat_count = -(-len(mini_fat) * 4 // ss) if mini_fat else 0
    mini_count = -(-len(mini) // ss)
    big_counts = [-(-len(d) // ss) for _, d, m, _ in entries if not m]
    data_sectors = dir_count + mini_fat_count + mini_count + sum(big_counts)
    n_fat, n_difat = max(1, min_fat), 0
    while True:
        n_difat = 0 if n_fat <= 109 else -(-(n_fat - 109) // (per_sector - 1))
        if n_fat * per_sector >= n_fat + n_difat + data_sectors:
            break
        n_fat += 1
    fat = [FREESECT] * (n_fat * per_sector)
    nxt = 0

    def allocate(count, mark=None):
        nonlocal nxt
        first = nxt
        for k in range(count):
            fat[nxt] = mark if mark is not None else (nxt + 1 if k < count - 1 else ENDOFCHAIN)
            nxt += 1
        return first if count else ENDOFCHAIN

    fat_sectors = [allocate(1, FATSECT) for _ in range(n_fat)]
    difat_sectors = [allocate(1, DIFSECT) for _ in range(n_difat)]
    dir_start = allocate(dir_count)
    mini_fat_start = allocate(mini_fat_count)
    mini_start = allocate(mini_count)
    body = {}
    for e in entries:
        if not e[2]:
            count = -(-len(e[1]) // ss)
            e[3] = allocate(count)
            body[e[3]] = e[1]
            if damage == 'fatcycle' and e[0] in ('Workbook', 'Book'):
                fat[e[3] + count // 2] = e[3]     # back to the first sector of the stream
    sectors = {}

    def place(first, data):
        for k in range(0, len(data), ss):
            sectors[first + k // ss] = data[k:k + ss]

    # directory: the root, then the streams as a chain of right siblings
    def entry(name, etype, child, right, start, size, left=NOSTREAM):
        raw = name.encode('utf-16-le') + b'\0\0'
        return (raw.ljust(64, b'\0') + struct.pack('<HBBIII', len(raw), etype, 1, left, right, child)
                + bytes(16) + bytes(4) + bytes(16) + struct.pack('<IQ', start, size))

    dirs = [entry('Root Entry', 5, 1 if entries else NOSTREAM, NOSTREAM, mini_start if mini else ENDOFCHAIN, len(mini))]
    for i, (name, data, _, start) in enumerate(entries):
        size = len(data)
        if damage == 'hugesize' and name in ('Workbook', 'Book'):
            size = 0x7FFFFFF0
        left = 1 if damage == 'dircycle' and i == 0 else NOSTREAM
        dirs.append(entry(name, 2, NOSTREAM, i + 2 if i + 1 < len(entries) else NOSTREAM, start, size, left))
    while len(dirs) * 128 < dir_count * ss:
        dirs.append(bytes(64) + struct.pack('<HBBIII', 0, 0, 0, NOSTREAM, NOSTREAM, NOSTREAM) + bytes(48))
    place(dir_start, b''.join(dirs))
    if mini_fat:
        place(mini_fat_start, struct.pack('<%dI' % len(mini_fat), *mini_fat).ljust(mini_fat_count * ss, b'\xff'))
    place(mini_start, mini)
    for first, data in body.items():
        place(first, data)
    difat_entries = fat_sectors[109:]
    for k, sector in enumerate(difat_sectors):
        chunk = difat_entries[k * (per_sector - 1):(k + 1) * (per_sector - 1)]
        chunk += [FREESECT] * (per_sector - 1 - len(chunk))
        following = difat_sectors[k + 1] if k + 1 < len(difat_sectors) else ENDOFCHAIN
        if damage == 'difatcycle':
            following = sector
        sectors[sector] = struct.pack('<%dI' % per_sector, *(chunk + [following]))
    claimed_fat = n_fat + (per_sector - 1) * 4 if damage == 'difatcycle' else n_fat
    for k, sector in enumerate(fat_sectors):
        sectors[sector] = struct.pack('<%dI' % per_sector, *fat[k * per_sector:(k + 1) * per_sector])
    head = (b'\xd0\xcf\x11\xe0\xa1\xb1\x1a\xe1' + bytes(16)
            + struct.pack('<HHHHH', 0x3E, 3 if shift == 9 else 4, 0xFFFE, shift, 6) + bytes(6)
            + struct.pack('<IIIIIIIII', 0 if shift == 9 else dir_count, claimed_fat, dir_start, 0, cutoff,
                          mini_fat_start if mini_fat else ENDOFCHAIN, mini_fat_count,
                          difat_sectors[0] if difat_sectors else ENDOFCHAIN, n_difat)
            + struct.pack('<109I', *(fat_sectors[:109] + [FREESECT] * (109 - min(109, n_fat)))))
    head = head.ljust(ss, b'\0')
    return head + b''.join(sectors.get(k, bytes(ss)).ljust(ss, b'\0') for k in range(nxt))


# ------------------------------------------------------------------ the workbooks

def date_style(fmt):
    return xlwt.easyxf(num_format_str=fmt)


def mixed_workbook():
    """Several sheets, the second one active; every kind of cell."""
    wb = xlwt.Workbook(encoding='utf-8')
    first = wb.add_sheet('首页')
    first.write(0, 0, 'first')
    first.write(1, 2, 7)
    s = wb.add_sheet('价格表')
    hidden = wb.add_sheet('隐藏')
    hidden.write(4, 4, '藏')
    hidden.visibility = 1
    wb.set_active_sheet(1)
    s.set_selected(True)
    first.set_selected(False)
    r = 2
    for c, v in enumerate(['名称', '价格', '日期', '备注']):
        s.write(r, c + 1, v)
    numbers = [42, -7, 536870911, 536870912, -536870912, -536870913, 12.5, 0.1, 1e-7, 1234567.891,
               -0.125, 3.141592653589793, 1e300, 0, -0.0, 100, 2 ** 53, 0.3 - 0.1]
    for k, v in enumerate(numbers):      # in one row, so that xlwt writes MULRK records
        s.write(3, 1 + k, v)
    for k, v in enumerate(numbers):
        s.write(4 + k, 1, v)
    r = 4
    texts = ['绿茶', '红茶 “特级”', '𠀀 and ½', 'plain ascii', 'line one\nline two', ' 空格 ', 'Ünïcödé', '']
    for k, t in enumerate(texts):
        s.write(r + k, 2, t)
    long_ascii = ''.join(chr(ord('a') + k % 26) for k in range(9000))
    long_chinese = '价格表' * 3400
    long_mixed = 'abc' * 2000 + '中文' + 'xyz' * 2000
    s.write(r, 3, long_ascii)
    s.write(r + 1, 3, long_chinese)
    s.write(r + 2, 3, long_mixed)
    for k in range(300):                 # many short strings: many CONTINUE records
        s.write(30 + k // 6, 10 + k % 6, '串%03d' % k if k % 2 else 'str%03d' % k)
    bold = xlwt.Font()
    bold.bold = True
    s.write_rich_text(r + 3, 3, [('粗体', bold), ' plain ', ('bold', bold)])
    s.write_rich_text(r + 4, 3, [('rich ascii ', bold), 'only'])
    dates = [
        (datetime.date(2007, 5, 3), 'YYYY-MM-DD'),
        (datetime.datetime(2008, 1, 2, 13, 45, 30), 'YYYY-MM-DD HH:MM:SS'),
        (datetime.time(8, 5, 9), 'HH:MM:SS'),
        (datetime.date(1999, 12, 31), 'M/D/YY'),            # built-in 14
        (datetime.date(2010, 6, 1), 'D-MMM-YY'),            # built-in 15
        (datetime.datetime(2001, 2, 3, 4, 5, 6), 'M/D/YY h:mm'),
        (datetime.date(2012, 2, 29), 'yyyy"年"m"月"d"日"'),
        (datetime.time(23, 59, 59), '[h]:mm:ss'),
        (datetime.date(1900, 3, 1), 'dd/mm/yyyy'),
        (datetime.datetime(2020, 7, 7, 0, 0, 1), 'yyyy-mm-dd hh:mm:ss;@'),
        (datetime.date(2021, 1, 1), '[$-804]yyyy"年"m"月"'),
    ]
    for k, (v, f) in enumerate(dates):
        s.write(4 + k, 4, v, date_style(f))
    not_dates = [(1234.5, '0.00'), (0.25, '0.00%'), (42, '"d"0'), (7, '[Red]0.00'), (3, '#,##0.00 "元"'),
                 (5, '@'), (6, '0.00E+00'), (8.5, '# ?/?'), (9, '_(* #,##0_)'), (123, '[DBNum1][$-804]General'),
                 (5.5, '\\y\\m\\d 0')]
    for k, (v, f) in enumerate(not_dates):
        s.write(4 + k, 5, v, date_style(f))
    s.write(82, 1, True)
    s.write(82, 2, False)
    for k, code in enumerate([0x00, 0x07, 0x0F, 0x17, 0x1D, 0x24, 0x2A]):
        s.row(83).set_cell_error(1 + k, code)
    for k in range(6):
        s.write(84, 1 + k, xlwt.Formula('B4+%d' % k))
    s.write(84, 7, xlwt.Formula('B4*2'), date_style('YYYY-MM-DD'))
    s.write(85, 1, '', date_style('0.00'))          # blank
    s.row(85).set_cell_mulblanks(2, 6)
    s.write(86, 12, 'last')
    s.write(87, 0, 'first column')
    return wb


def patch_mixed(stream):
    recs = records(stream)
    # the shared strings, cut small
    at = next(i for i, r in enumerate(recs) if r[0] == SST)
    strings, end = read_sst(recs, at)
    total = struct.unpack_from('<I', recs[at][1])[0]
    new_sst = write_sst(strings, total, 160, phonetic_every=5)
    recs[at:end] = new_sst
    recs = [r for r in recs if r[0] != EXTSST]
    # a FORMAT record for the built-in id 22 that does not show a date, as some writers give them
    xf_at = next(i for i, r in enumerate(recs) if r[0] == 0x00E0)
    recs.insert(xf_at, [FORMAT, struct.pack('<H', 22) + xlstring('0.00')])
    # cached results for the formulas of the price sheet
    first, last = sheet_records(recs, 1)
    results = {
        1: (struct.pack('<d', 43.0), None),
        2: (struct.pack('<BBHHH', 0, 0, 0, 0, 0xFFFF), '结果 result'),
        3: (struct.pack('<BBBBHH', 1, 0, 1, 0, 0, 0xFFFF), None),
        4: (struct.pack('<BBBBHH', 2, 0, 0x17, 0, 0, 0xFFFF), None),
        5: (struct.pack('<BBHHH', 3, 0, 0, 0, 0xFFFF), None),
        6: (struct.pack('<BBHHH', 0, 0, 0, 0, 0xFFFF), '长' * 5000),      # a STRING with CONTINUE records
        7: (struct.pack('<d', 39448.5), None),
    }
    i = first
    while i < last:
        rtype, data = recs[i]
        if rtype == FORMULA:
            row, col = struct.unpack_from('<HH', data)
            if row == 84 and col in results:
                value, text = results[col]
                recs[i][1] = data[:6] + value + data[14:]
                if text is not None:
                    raw = xlstring(text)
                    body = raw[3:]   # the characters, two bytes each: a STRING and its CONTINUE records
                    if len(body) <= 8000:
                        add = [[STRING, raw]]
                    else:
                        add = [[STRING, raw[:3 + 4000]]]
                        body = body[4000:]
                        while body:
                            add.append([CONTINUE, bytes([1]) + body[:4000]])
                            body = body[4000:]
                    recs[i + 1:i + 1] = add
                    last += len(add)
                    i += len(add)
        i += 1
    # LABEL and RSTRING records, which xlwt never writes
    w2 = next(k for k in range(first, last) if recs[k][0] == WINDOW2)
    recs[w2:w2] = [
        [LABEL, struct.pack('<HHH', 88, 1, 15) + xlstring('标签 LABEL')],
        [RSTRING, struct.pack('<HHH', 88, 2, 15) + xlstring('rich 富') + struct.pack('<H', 1) + bytes(4)],
        [LABEL, struct.pack('<HHH', 88, 3, 15) + xlstring('latin ÿ')],
    ]
    return join(recs)


def dates_1904_workbook():
    wb = xlwt.Workbook(encoding='utf-8')
    wb.dates_1904 = True
    s = wb.add_sheet('1904')
    values = [(datetime.date(2007, 5, 3), 'YYYY-MM-DD'), (datetime.datetime(1904, 1, 2, 6, 0, 0), 'YYYY-MM-DD HH:MM'),
              (datetime.time(12, 30, 0), 'HH:MM'), (datetime.date(2038, 1, 19), 'yyyy/m/d'), (12.5, 'General')]
    for k, (v, f) in enumerate(values):
        s.write(k, 0, v, date_style(f))
        s.write(k, 1, '第%d行' % k)
    return wb


def small_workbook():
    wb = xlwt.Workbook(encoding='utf-8')
    s = wb.add_sheet('小')
    s.write(0, 0, '小表')
    s.write(0, 1, 3.5)
    s.write(1, 0, datetime.date(2009, 9, 9), date_style('YYYY-MM-DD'))
    s.write(1, 1, True)
    return wb


BIFF5_TEXTS = {
    936: ('gbk', ['宋体', 'yyyy"年"m"月"d"日"', '第一页', '数据', '第一', '名称', '价格说明，很长的一段文字', '富文本']),
    1252: ('cp1252', ['Arial', 'dd"€"mm"€"yyyy', 'Übersicht', 'Daten', 'Erste', 'Größe', 'Preis € 5 – „gut“',
                      'Straße']),
}


def biff5_stream(codepage=936):
    """A BIFF5 workbook in a code page: byte strings, no shared strings."""
    encoding, texts = BIFF5_TEXTS[codepage]
    font, date_format, first_sheet, data_sheet, first, name, long_text, rich = texts

    def s8(text):
        raw = text.encode(encoding)
        return struct.pack('<B', len(raw)) + raw

    def s16(text):
        raw = text.encode(encoding)
        return struct.pack('<H', len(raw)) + raw

    def xf(fmt, style=False):
        return [0x00E0, struct.pack('<HHHBBII', 0, fmt, 0xFFF5 if style else 0x0001, 0x20, 0, 0, 0)]

    globals_ = [[BOF, struct.pack('<HHHH', 0x0500, 0x0005, 0x0DBB, 0x07CC)],
                [0x0042, struct.pack('<H', codepage)],
                [0x003D, struct.pack('<HHHHHHHHH', 0, 0, 0x3000, 0x2000, 0x38, 1, 0, 1, 600)],
                [0x0022, struct.pack('<H', 0)]]
    globals_ += [[0x0031, struct.pack('<HHHHHBBBB', 200, 0, 0x7FFF, 400, 0, 0, 0, 0, 0) + s8(font)]
                 for _ in range(5)]
    globals_ += [[FORMAT, struct.pack('<H', 164) + s8(date_format)]]
    globals_ += [xf(0, True) for _ in range(15)] + [xf(0), xf(14), xf(164), xf(2)]
    globals_ += [[BOUNDSHEET, struct.pack('<IBB', 0, 0, 0) + s8(first_sheet)],
                 [BOUNDSHEET, struct.pack('<IBB', 0, 0, 0) + s8(data_sheet)],
                 [EOF, b'']]
    sheet1 = [[BOF, struct.pack('<HHHH', 0x0500, 0x0010, 0x0DBB, 0x07CC)],
              [LABEL, struct.pack('<HHH', 0, 0, 15) + s16(first)], [EOF, b'']]
    rk = lambda v: struct.pack('<i', (v << 2) | 2)
    sheet2 = [[BOF, struct.pack('<HHHH', 0x0500, 0x0010, 0x0DBB, 0x07CC)],
              [LABEL, struct.pack('<HHH', 1, 1, 15) + s16(name)],
              [LABEL, struct.pack('<HHH', 1, 2, 15) + s16(long_text)],
              [0x0203, struct.pack('<HHHd', 2, 1, 15, 2.75)],
              [0x027E, struct.pack('<HHH', 2, 2, 16) + rk(39000)],
              [0x00BD, struct.pack('<HH', 3, 1) + struct.pack('<H', 15) + rk(5) + struct.pack('<H', 17) + rk(40000)
               + struct.pack('<H', 18) + rk(-3) + struct.pack('<H', 3)],
              [0x0205, struct.pack('<HHHBB', 4, 1, 15, 1, 0)],
              [0x0205, struct.pack('<HHHBB', 4, 2, 15, 0x07, 1)],
              [FORMULA, struct.pack('<HHH', 5, 1, 15) + struct.pack('<BBHHH', 0, 0, 0, 0, 0xFFFF)
               + struct.pack('<HI', 0, 0) + struct.pack('<H', 3) + bytes([0x1E, 1, 0])],
              [STRING, s16('formula text')],
              [FORMULA, struct.pack('<HHH', 5, 2, 16) + struct.pack('<d', 39001.25) + struct.pack('<HI', 0, 0)
               + struct.pack('<H', 3) + bytes([0x1E, 1, 0])],
              [RSTRING, struct.pack('<HHH', 6, 1, 15) + s16(rich) + struct.pack('<B', 1) + bytes(2)],
              [EOF, b'']]
    return join(globals_ + sheet1 + sheet2)


def xlwt_file(wb, stream=None):
    """The compound file xlwt itself writes around a stream."""
    import io
    out = io.BytesIO()
    CompoundDoc.XlsDoc().save(out, stream if stream is not None else wb.get_biff_data())
    return out.getvalue()


def damaged(base_stream, small_stream):
    """Workbooks that break one rule each: name -> bytes."""
    out = {}
    for what in ('fatcycle', 'hugesize', 'dircycle'):
        out['%s.xls' % what] = compound([('Other', bytes(5000)), ('Workbook', base_stream)], damage=what)
    out['minicycle.xls'] = compound([('Workbook', small_stream)], damage='minicycle')
    out['difatcycle.xls'] = compound([('Workbook', base_stream)], min_fat=110, damage='difatcycle')
    recs = records(small_stream)
    bad = [list(r) for r in recs]
    for r in bad:
        if r[0] == BOUNDSHEET:
            r[1] = struct.pack('<I', 0x7FFFFFF0) + r[1][4:]
    out['sheetpos.xls'] = compound([('Workbook', b''.join(struct.pack('<HH', t, len(d)) + d for t, d in bad))])
    bad = [list(r) for r in recs]
    for r in bad:
        if r[0] == LABELSST:
            r[1] = r[1][:6] + struct.pack('<I', 99999)
    out['sstindex.xls'] = compound([('Workbook', join(bad))])
    bad = [list(r) for r in recs]
    for r in bad:
        if r[0] == SST:
            r[1] = r[1][:8] + struct.pack('<H', 60000) + r[1][10:]
    out['sstchars.xls'] = compound([('Workbook', join(bad))])
    first, _ = sheet_records(recs, 0)
    raw = join([list(r) for r in recs])
    at = sum(4 + len(d) for _, d in recs[:first + 1])
    out['reclen.xls'] = compound([('Workbook', raw[:at + 2] + b'\xff\xff' + raw[at + 4:])])
    bad = [list(r) for r in recs]
    bad[first][1] = struct.pack('<HH', 0x0600, 0x0005) + bad[first][1][4:]
    bad[first][0] = 0x0201
    out['nobof.xls'] = compound([('Workbook', join(bad))])
    out['nosheet.xls'] = compound([('Workbook', join([r for r in recs[:first] if r[0] != BOUNDSHEET]))])
    out['encrypted.xls'] = compound([('Workbook', join(recs[:1] + [[0x002F, bytes(54)]] + recs[1:]))])
    out['nostream.xls'] = compound([('Other', small_stream)])
    return out


def sound_workbooks():
    """name -> (bytes, active sheet name, the workbook xlrd reads in its place). xlrd
    finds sectors of 4096 bytes in the wrong place, so it reads the v4 file's
    workbook stream from a file with 512-byte sectors."""
    mixed = patch_mixed(mixed_workbook().get_biff_data())
    small = small_workbook().get_biff_data()
    return {
        'mixed.xls': (xlwt_file(None, mixed), '价格表', None),
        'plain.xls': (xlwt_file(None, mixed_workbook().get_biff_data()), '价格表', None),
        'difat.xls': (compound([('Workbook', mixed)], min_fat=110), '价格表', None),
        'v4.xls': (compound([('Workbook', mixed), ('Extra', b'x' * 5000)], shift=12), '价格表',
                   compound([('Workbook', mixed), ('Extra', b'x' * 5000)])),
        'mini.xls': (compound([('Workbook', small), ('\x05SummaryInformation', bytes(200))]), '小', None),
        'dates1904.xls': (xlwt_file(dates_1904_workbook()), '1904', None),
        'biff5.xls': (compound([('Book', biff5_stream())]), '数据', None),
        'biff5-1252.xls': (compound([('Book', biff5_stream(1252))]), 'Daten', None),
    }, mixed, small


def xlrd_cells(path):
    with open(os.devnull, 'w') as quiet:
        book = xlrd.open_workbook(path, logfile=quiet)
    sheets = {}
    for sh in book.sheets():
        cells = []
        for r in range(sh.nrows):
            for c in range(sh.ncols):
                cell = sh.cell(r, c)
                if cell.ctype in (xlrd.XL_CELL_EMPTY, xlrd.XL_CELL_BLANK):
                    continue
                if cell.ctype == xlrd.XL_CELL_DATE:
                    kind, value = 'date', list(xlrd.xldate_as_tuple(cell.value, book.datemode))
                elif cell.ctype == xlrd.XL_CELL_NUMBER:
                    kind, value = 'number', cell.value
                elif cell.ctype == xlrd.XL_CELL_BOOLEAN:
                    kind, value = 'bool', cell.value
                elif cell.ctype == xlrd.XL_CELL_ERROR:
                    kind, value = 'text', xlrd.error_text_from_code[cell.value]
                else:
                    kind, value = 'text', cell.value
                cells.append([r, c, kind, value])
        sheets[sh.name] = cells
    return sheets


def main():
    if sys.argv[1] == '--seeds':
        folder = sys.argv[2]
        os.makedirs(folder, exist_ok=True)
        small = small_workbook().get_biff_data()
        seeds = {
            'mini.xls': compound([('Workbook', small)]),
            'biff5.xls': compound([('Book', biff5_stream())]),
            'biff5-1252.xls': compound([('Book', biff5_stream(1252))]),
            'sst.xls': xlwt_file(None, seed_stream()),   # the stream in sectors of its own
            'dates1904.xls': compound([('Workbook', dates_1904_workbook().get_biff_data())]),
        }
        for name, data in seeds.items():
            with open(os.path.join(folder, name), 'wb') as f:
                f.write(data)
        return
    folder = sys.argv[1]
    sound, mixed, small = sound_workbooks()
    result = {}
    for name, (data, active, twin) in sound.items():
        path = os.path.join(folder, name)
        with open(path, 'wb') as f:
            f.write(data)
        if twin is not None:
            path = os.path.join(folder, 'twin-' + name)
            with open(path, 'wb') as f:
                f.write(twin)
        result[name] = {'active': active, 'sheets': xlrd_cells(path)}
    for name, data in damaged(mixed, small).items():
        with open(os.path.join(folder, name), 'wb') as f:
            f.write(data)
    json.dump(result, sys.stdout, ensure_ascii=False)


def seed_stream():
    """A small workbook with strings split across CONTINUE records and cached formula results."""
    wb = xlwt.Workbook(encoding='utf-8')
    s = wb.add_sheet('串')
    other = wb.add_sheet('二')
    other.write(0, 0, 1)
    wb.set_active_sheet(0)
    for k in range(24):
        s.write(k // 4, k % 4, ('字%d' % k) * (1 + k % 5) if k % 3 else 'ascii %d' % k)
    s.write(6, 0, 1.5)
    s.write(6, 1, datetime.date(2001, 1, 1), date_style('yyyy"年"m"月"'))
    s.write(6, 2, xlwt.Formula('A7*2'))
    s.row(7).set_cell_error(0, 0x2A)
    s.write(7, 1, False)
    recs = records(wb.get_biff_data())
    at = next(i for i, r in enumerate(recs) if r[0] == SST)
    strings, end = read_sst(recs, at)
    recs[at:end] = write_sst(strings, len(strings), 40, phonetic_every=3)
    return join([r for r in recs if r[0] != EXTSST])


if __name__ == '__main__':
    main()
