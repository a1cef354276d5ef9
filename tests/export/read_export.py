#!/usr/bin/python3
"""Reads an exported file back with an independent reader and prints JSON:

  {"header": [...], "rows": [[...]], "style": {...}, "meta": {...}}

Cells are texts; an empty cell reads as "" except in JSON, where null stays
null. "style" describes the header and data cells in one vocabulary for
every spreadsheet-like format, so the test compares them alike. A missing
reader module is an import error and a non-zero exit: the test fails.

Usage: read_export.py FORMAT FILE   (FORMAT: xlsx xls ods csv tab html json pdf cfb)
"""

import json
import sys


def rgb_hex(value):
    return value[-6:].upper() if value else None


def read_xlsx(path):
    import openpyxl

    book = openpyxl.load_workbook(path)
    sheet = book.worksheets[0]
    rows = [["" if v is None else str(v) for v in row] for row in sheet.iter_rows(values_only=True)]
    style = {}
    if rows:
        head = sheet.cell(row=1, column=1)
        style = {
            "headerFill": rgb_hex(head.fill.fgColor.rgb) if head.fill.fill_type == "solid" else None,
            "headerBold": bool(head.font.b),
            "headerSize": float(head.font.sz),
            "headerFont": head.font.name,
            "headerAlign": head.alignment.horizontal,
            "headerLines": head.border.top.style == "thin" and head.border.left.style == "thin",
        }
        if len(rows) > 1:
            data = sheet.cell(row=2, column=1)
            style.update({
                "dataSize": float(data.font.sz),
                "dataAlign": data.alignment.horizontal,
                "dataLines": data.border.bottom.style == "thin" and data.border.right.style == "thin",
            })
        # openpyxl reports the stored width, which carries Excel's padding.
        style["widths"] = [
            int(sheet.column_dimensions[openpyxl.utils.get_column_letter(c + 1)].width or 0)
            for c in range(sheet.max_column)
        ]
    return rows, style, {"title": book.properties.title}


def read_xls(path):
    import xlrd

    book = xlrd.open_workbook(path, formatting_info=True)
    sheet = book.sheet_by_index(0)
    rows = [[str(sheet.cell_value(r, c)) for c in range(sheet.ncols)] for r in range(sheet.nrows)]
    style = {}

    def describe(r, c, prefix):
        xf = book.xf_list[sheet.cell_xf_index(r, c)]
        font = book.font_list[xf.font_index]
        out = {
            prefix + "Size": font.height / 20.0,
            prefix + "Align": {2: "center"}.get(xf.alignment.hor_align, str(xf.alignment.hor_align)),
            prefix + "Lines": xf.border.top_line_style == 1 and xf.border.left_line_style == 1,
        }
        if prefix == "header":
            fill = None
            if xf.background.fill_pattern == 1:
                colour = book.colour_map.get(xf.background.pattern_colour_index)
                fill = "%02X%02X%02X" % colour if colour else None
            out.update({"headerFill": fill, "headerBold": font.weight >= 700, "headerFont": font.name})
        return out

    if sheet.nrows:
        style.update(describe(0, 0, "header"))
        if sheet.nrows > 1:
            style.update(describe(1, 0, "data"))
        style["widths"] = [sheet.colinfo_map[c].width // 256 for c in range(sheet.ncols)]
    return rows, style, {"title": summary_title(path)}


def summary_title(path):
    """The title (property 2) of the summary information stream, or None."""
    import struct

    from xlrd import compdoc

    doc = compdoc.CompDoc(open(path, "rb").read(), logfile=sys.stderr)
    data = doc.get_named_stream("\x05SummaryInformation")
    if not data:
        return None
    section = struct.unpack_from("<I", data, 44)[0]
    count = struct.unpack_from("<I", data, section + 4)[0]
    props = dict(struct.unpack_from("<II", data, section + 8 + 8 * i) for i in range(count))
    codepage = 1252
    if 1 in props:
        codepage = struct.unpack_from("<H", data, section + props[1] + 4)[0]
    if 2 not in props:
        return None
    at = section + props[2]
    vtype, size = struct.unpack_from("<I", data, at)[0], struct.unpack_from("<I", data, at + 4)[0]
    if vtype != 0x1E:
        return None
    raw = data[at + 8:at + 8 + size].rstrip(b"\0")
    return raw.decode({65001: "utf-8", 1200: "utf-16-le"}.get(codepage, "cp%d" % codepage))


def read_ods(path):
    import zipfile

    from odf import opendocument, teletype
    from odf.namespaces import FONS, STYLENS, TABLENS
    from odf.style import Style
    from odf.table import Table, TableCell, TableRow

    with zipfile.ZipFile(path) as z:
        first = z.infolist()[0]
        package = {
            "firstEntry": first.filename,
            "firstStored": first.compress_type == zipfile.ZIP_STORED,
            "firstExtra": len(first.extra),
            "mimetype": z.read("mimetype").decode("ascii"),
            "entries": sorted(i.filename for i in z.infolist()),
        }

    doc = opendocument.load(path)
    table = doc.getElementsByType(Table)[0]
    rows, styles = [], []
    for row in table.getElementsByType(TableRow):
        cells, names = [], []
        for cell in row.getElementsByType(TableCell):
            repeat = int(cell.getAttrNS(TABLENS, "number-columns-repeated") or 1)
            text = teletype.extractText(cell) if cell.getAttrNS(
                "urn:oasis:names:tc:opendocument:xmlns:office:1.0", "value-type") else ""
            cells += [text] * repeat
            names += [cell.getAttrNS(TABLENS, "style-name")] * repeat
        rows.append(cells)
        styles.append(names)

    named = {}
    for parent in (doc.styles, doc.automaticstyles):
        for s in parent.getElementsByType(Style):
            named[s.getAttrNS(STYLENS, "name")] = s

    def props(name):
        found = {}
        s = named.get(name)
        if s is None:
            return found
        for child in s.childNodes:
            for (ns, attr), value in child.attributes.items():
                found[attr] = value
        return found

    style = {}
    if rows:
        head = props(styles[0][0])
        style = {
            "headerFill": rgb_hex(head.get("background-color")),
            "headerBold": head.get("font-weight") == "bold",
            "headerSize": float(head.get("font-size", "0pt")[:-2]),
            "headerFont": head.get("font-name"),
            "headerAlign": head.get("text-align"),
            "headerLines": "solid" in head.get("border", ""),
        }
        if len(rows) > 1:
            data = props(styles[1][0])
            style.update({
                "dataSize": float(data.get("font-size", "0pt")[:-2]),
                "dataAlign": data.get("text-align"),
                "dataLines": "solid" in data.get("border", ""),
            })
        widths = []
        from odf.table import TableColumn
        for col in table.getElementsByType(TableColumn):
            w = props(col.getAttrNS(TABLENS, "style-name")).get("column-width", "0mm")
            widths.append(round(float(w[:-2]) / 1.9))
        style["widths"] = widths

    from odf.dc import Title
    titles = doc.meta.getElementsByType(Title)
    meta = {"title": teletype.extractText(titles[0]) if titles else None, "package": package}
    return rows, style, meta


def read_delimited(path, delimiter):
    import csv
    import io

    raw = open(path, "rb").read()
    meta = {
        "bom": raw[:2].hex(),
        "crlfOnly": raw.decode("utf-16-le").replace("\r\n", "").count("\n") == 0
        if raw[:2] == b"\xff\xfe" else False,
    }
    text = raw.decode("utf-16")  # fails without a byte-order mark
    rows = [row for row in csv.reader(io.StringIO(text, newline=""), delimiter=delimiter)]
    return rows, {}, meta


def read_html(path):
    import re
    from html.parser import HTMLParser

    class Table(HTMLParser):
        def __init__(self):
            super().__init__(convert_charrefs=True)
            self.rows, self.cell, self.style, self.title = [], None, "", ""
            self.in_style = self.in_title = False

        def handle_starttag(self, tag, attrs):
            if tag == "tr":
                self.rows.append([])
            elif tag in ("td", "th"):
                self.cell = ""
            self.in_style = tag == "style"
            self.in_title = tag == "title"

        def handle_endtag(self, tag):
            if tag in ("td", "th"):
                self.rows[-1].append(self.cell)
                self.cell = None
            self.in_style = self.in_title = False

        def handle_data(self, data):
            if self.cell is not None:
                self.cell += data
            elif self.in_style:
                self.style += data
            elif self.in_title:
                self.title += data

    parser = Table()
    parser.feed(open(path, encoding="utf-8").read())
    parser.close()

    rules = {}
    for selectors, body in re.findall(r"([^{}]+)\{([^}]*)\}", parser.style):
        decls = dict(
            (k.strip(), v.strip()) for k, v in (d.split(":", 1) for d in body.split(";") if ":" in d))
        for sel in selectors.split(","):
            rules.setdefault(sel.strip(), {}).update(decls)
    th, td = rules.get("th", {}), rules.get("td", {})
    fill = re.fullmatch(r"rgb\((\d+),\s*(\d+),\s*(\d+)\)", th.get("background-color", ""))
    style = {
        "headerFill": "%02X%02X%02X" % tuple(int(x) for x in fill.groups()) if fill else None,
        "headerBold": th.get("font-weight") == "bold",
        "headerSize": float(th.get("font-size", "0pt")[:-2]),
        "headerFont": th.get("font-family", "").split(",")[0].strip(),
        "headerAlign": th.get("text-align"),
        "headerLines": "solid" in th.get("border", ""),
        "dataSize": float(td.get("font-size", "0pt")[:-2]),
        "dataAlign": td.get("text-align"),
        "dataLines": "solid" in td.get("border", ""),
    }
    return parser.rows, style, {"title": parser.title}


def read_json(path):
    data = json.load(open(path, encoding="utf-8"))
    if not isinstance(data, list):
        raise SystemExit("top level is not an array")
    header = list(data[0].keys()) if data else []
    rows = [list(obj.values()) for obj in data]
    meta = {"keys": [list(obj.keys()) for obj in data]}
    return ([header] + rows) if data else [], {}, meta


def read_pdf(path):
    import re
    import subprocess

    info = subprocess.run(["pdfinfo", path], check=True, capture_output=True, text=True).stdout
    fields = dict(line.split(":", 1) for line in info.splitlines() if ":" in line)
    pages = int(fields["Pages"])
    size = re.match(r"\s*([\d.]+) x ([\d.]+) pts", fields["Page size"])
    texts = []
    for p in range(1, pages + 1):
        texts.append(subprocess.run(
            ["pdftotext", "-layout", "-enc", "UTF-8", "-f", str(p), "-l", str(p), path, "-"],
            check=True, capture_output=True, text=True).stdout)
    meta = {
        "title": fields.get("Title", "").strip(),
        "pages": texts,
        "landscape": float(size.group(1)) > float(size.group(2)),
    }
    return [], {}, meta


def read_cfb(path):
    """Streams of a compound document, read with xlrd's own container reader."""
    import hashlib

    from xlrd import compdoc

    doc = compdoc.CompDoc(open(path, "rb").read(), logfile=sys.stderr)
    names = [d.name for d in doc.dirlist if d.etype == 2]
    streams = {}
    for name in names:
        data = doc.get_named_stream(name)
        streams[name] = {"size": len(data), "sha1": hashlib.sha1(data).hexdigest()}
    return [], {}, {"streams": streams}


READERS = {
    "xlsx": read_xlsx,
    "xls": read_xls,
    "ods": read_ods,
    "csv": lambda p: read_delimited(p, ","),
    "tab": lambda p: read_delimited(p, "\t"),
    "html": read_html,
    "json": read_json,
    "pdf": read_pdf,
    "cfb": read_cfb,
}


def main():
    fmt, path = sys.argv[1], sys.argv[2]
    rows, style, meta = READERS[fmt](path)
    print(json.dumps({"header": rows[0] if rows else [], "rows": rows[1:], "style": style, "meta": meta}))


if __name__ == "__main__":
    main()
