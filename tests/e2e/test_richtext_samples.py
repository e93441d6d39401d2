#!/usr/bin/python3
"""The rich-text converter on the real samples. Every rich-text item of the chosen databases converts
(nsfrex-rt2html); the result has the MHT body frame, its text is valid UTF-8, and every image tag has its
MIME part. An HTML5 parser reads each body as the mail writer frames it, and:

- every parse error it reports comes from a named rule of the converter's defined output (PARSE_RULES);
- the visible text of the parsed body, compared with the module's item text of the same item
  (nsfrex-rt2html --item-text, read through the Notes runtime), differs only where a named rule of the
  converter or of item text says so (TEXT_RULES). Whitespace is compared as "there is some" or "there is
  none" between two visible characters, since HTML collapses runs of it.

Counts of items, parse errors by rule and text differences by rule are printed at the end."""
import collections
import difflib
import html
import re
import subprocess
import sys

import html5lib  # Debian package python3-html5lib
from e2e_support import parse_options

SAMPLES = [
    "notedata_richtext.nsf", "notedata_big_rich.nsf", "apiug.nsf",
    "notedata_attachment.nsf", "notedata_namelook.nsf", "notedata_billdrv.nsf",
    "notedata_history.nsf", "notedata_doclink1.nsf", "notedata_normal.nsf",
]
BODY_END = b"</BODY></HTML>\r\n"
BOUNDARY = b"------=_NextPart_000_0004_01CB58DD.164505B0"
# What the mail writer puts in front of the converted body, reduced to what the parser needs.
DOCUMENT_HEAD = "<!DOCTYPE html><HTML><HEAD></HEAD><BODY>"

# Parse errors that the converter's defined output produces, with the rule behind each.
PARSE_RULES = {
    ("expected-named-entity", None):
        "text runs escape only '<': an '&' of the stored text stays as it is",
    ("named-entity-without-semicolon", None):
        "text runs escape only '<': stored text such as '&para,' reads as an entity",
    ("invalid-codepoint", None):
        "control characters of the stored text (DEL, C0 and C1 codes) pass through unchanged",
    ("unexpected-end-tag", "p"):
        "a horizontal rule or table is written inside the open paragraph, which HTML closes there; "
        "the paragraph's own </P> then stands alone",
    ("unexpected-start-tag-implies-table-voodoo", "p"):
        "paragraphs between a table's begin record and its first cell record are written where they stand",
    ("unexpected-start-tag-implies-table-voodoo", "br"): "as above, the paragraph's line break",
    ("unexpected-start-tag-implies-table-voodoo", "font"): "as above, the paragraph's text run",
    ("unexpected-end-tag-implies-table-voodoo", "font"): "as above, the end of that text run",
    ("unexpected-end-tag-implies-table-voodoo", "p"): "as above, the end of that paragraph",
    ("expected-closing-tag-but-got-eof", None):
        "a table is closed only by its end record; stored rich text without one (or whose walk ends at a "
        "damaged record before it) leaves the table open",
}

# Allowed differences between the visible text and the item text, each a rule of the converter or of
# item text. The recogniser of each is in compare() below.
ENTITIES = "entities"
CAPTIONS = "captions"
RUN_ENDS = "run ends"
DAMAGED = "damaged record"
LINE_END_ORDER = "line-end order"
TEXT_RULES = {
    ENTITIES: "text runs escape only '<': an '&' of the stored text that forms an entity reads as that "
              "character in HTML, while item text keeps the '&'",
    CAPTIONS: "the converter writes the text of a caption record under its image; item text has no caption "
              "records, so that text is missing from it",
    RUN_ENDS: "each text run ends with </FONT> and a line end, and each effect tag (<B>, <I>, ...) is followed "
              "by a space, so HTML shows a space where two text runs meet; item text joins the runs",
    DAMAGED: "a record whose length does not fit makes the runtime's record walk fail, and item text fails "
             "with the text gathered before it; the converter's walk stops there too, but a text record whose "
             "word signature is damaged into a byte length is still a text record to it (the signature byte "
             "alone decides), so it writes that record's bytes as text",
    LINE_END_ORDER: "item text turns NUL and LF into CR LF and drops CR before translating from the Notes "
                    "character set, text runs translate first and turn NUL into a line break afterwards; a "
                    "byte that starts a character of another group and stands before such a line end "
                    "therefore translates differently (one side shows U+FFFD where the other shows a "
                    "character, or swallows the next one)",
}

XHTML = "{http://www.w3.org/1999/xhtml}"
MARK = "\x00"  # an element boundary in the extracted text
BLOCKS = {"p", "br", "hr", "table", "tbody", "tr", "td", "ul", "ol", "li", "body", "html"}
SPACE = re.compile(r"[\s\xa0]")
# What a group byte followed by a line end byte (NUL, LF, CR, or CR LF) translates to: U+FFFD; in
# group 1 the code page glyphs of LF and CR; in group 6 those of code page 852; 0x0F (a control character
# plus 0x20) the full-width forms of NUL, LF and CR; in group 0x14 (UTF-16) the unit 0x0D0A.
LINE_END_MARKS = set("\ufffd\u25d9\u266a\u011c\u0121\uffe0\uffea\uffed\u0d0a")


def run(rt2html, *args):
    return subprocess.run([str(rt2html), *map(str, args)], capture_output=True, timeout=120)


def local(tag):
    return tag[len(XHTML):] if isinstance(tag, str) and tag.startswith(XHTML) else ""


def is_caption(element, preceding, following):
    """A caption is written as <BR><FONT ...>text</FONT><BR> with no line end after the font tag; a
    text run always ends its font tag with one."""
    return (local(element.tag) == "font" and not element.tail and preceding is not None
            and local(preceding.tag) == "br" and following is not None and local(following.tag) == "br")


def visible_text(root, skip_captions):
    """The text a browser shows, as a string in which element boundaries are MARK and block boundaries
    also a line end; script and style are not shown."""
    out = []

    def walk(element, preceding, following):
        tag = local(element.tag)
        if tag in ("script", "style") or (skip_captions and is_caption(element, preceding, following)):
            out.append(element.tail or "")
            return
        out.append(MARK + ("\n" if tag in BLOCKS else ""))
        out.append(element.text or "")
        children = list(element)
        for i, child in enumerate(children):
            walk(child, children[i - 1] if i > 0 else None, children[i + 1] if i + 1 < len(children) else None)
        out.append(MARK + ("\n" if tag in BLOCKS else ""))
        out.append(element.tail or "")

    walk(root, None, None)
    return "".join(out)


def skeleton(text):
    """The visible characters, and for each gap before, between and after them whether whitespace and
    whether an element boundary stands there."""
    chars, gaps = [], []
    space = mark = False
    for ch in text:
        if ch == MARK:
            mark = True
        elif SPACE.match(ch):
            space = True
        else:
            gaps.append((space, mark))
            chars.append(ch)
            space = mark = False
    gaps.append((space, mark))
    return "".join(chars), gaps


def near_replacement(text, start, end):
    return not LINE_END_MARKS.isdisjoint(text[max(0, start - 2):end + 2])


def opcodes(a, b):
    """difflib's opcodes, with the common start and end taken off first: the texts are long and mostly
    equal, and the matcher is quadratic."""
    start = 0
    while start < min(len(a), len(b)) and a[start] == b[start]:
        start += 1
    end = 0
    while end < min(len(a), len(b)) - start and a[-1 - end] == b[-1 - end]:
        end += 1
    ops = [("equal", 0, start, 0, start)] if start else []
    matcher = difflib.SequenceMatcher(None, a[start:len(a) - end], b[start:len(b) - end], autojunk=False)
    for op, a1, a2, b1, b2 in matcher.get_opcodes():
        ops.append((op, a1 + start, a2 + start, b1 + start, b2 + start))
    if end:
        ops.append(("equal", len(a) - end, len(a), len(b) - end, len(b)))
    return ops


def compare(visible, visible_without_captions, item_text, item_text_failed):
    """The rules needed to explain the differences between the visible text and the item text, or
    (None, reason) when something is left that no rule explains."""
    used = set()
    shown, shown_gaps = skeleton(visible)
    wanted, wanted_gaps = skeleton(item_text)
    if shown != wanted:
        unescaped, unescaped_gaps = skeleton(html.unescape(item_text))
        if unescaped != wanted:
            wanted, wanted_gaps = unescaped, unescaped_gaps
            used.add(ENTITIES)
    if shown != wanted:
        without, without_gaps = skeleton(visible_without_captions)
        if without != shown:
            shown, shown_gaps = without, without_gaps
            used.add(CAPTIONS)
    for op, a1, a2, b1, b2 in opcodes(shown, wanted):
        if op != "equal":
            if near_replacement(shown, a1, a2) or near_replacement(wanted, b1, b2):
                used.add(LINE_END_ORDER)
            elif item_text_failed and op == "delete" and b1 == len(wanted):
                used.add(DAMAGED)
            else:
                return None, (f"text differs: {op} shown {shown[max(0, a1 - 20):a2 + 20]!r} "
                              f"item text {wanted[max(0, b1 - 20):b2 + 20]!r}")
            continue
        # Same characters: whitespace between two of them is there on both sides or on neither, except
        # where a text run ends.
        for i in range(1, a2 - a1):
            (space, mark), (wanted_space, _) = shown_gaps[a1 + i], wanted_gaps[b1 + i]
            if space != wanted_space and (near_replacement(shown, a1 + i - 1, a1 + i + 1) or
                                          near_replacement(wanted, b1 + i - 1, b1 + i + 1)):
                used.add(LINE_END_ORDER)
            elif wanted_space and not space:
                return None, f"words run together: {shown[max(0, a1 + i - 20):a1 + i]!r} + {shown[a1 + i:a1 + i + 20]!r}"
            elif space and not wanted_space:
                if not mark:
                    return None, (f"space inside a text run: {shown[max(0, a1 + i - 20):a1 + i]!r} + "
                                  f"{shown[a1 + i:a1 + i + 20]!r}")
                used.add(RUN_ENDS)
    if item_text_failed:
        used.add(DAMAGED)
    return sorted(used), None


def check_item(rt2html, db, note_id, item, where, failures, parse_errors, text_rules):
    result = run(rt2html, db, note_id, item)
    if result.returncode != 0:
        failures.append(f"{where}: exits {result.returncode}: {result.stderr[:300]!r}")
        return
    if result.stderr:
        failures.append(f"{where}: writes to stderr: {result.stderr[:300]!r}")
    out = result.stdout
    end = out.find(BODY_END)
    if end < 0 or not out.endswith(BOUNDARY + b"--"):
        failures.append(f"{where}: not an MHT body (no </BODY></HTML> or closing boundary)")
        return
    # Tags write their equals signs quoted-printable; text keeps its own '=' as it is.
    try:
        text = out[:end].replace(b"=3D", b"=").decode("utf-8")
    except UnicodeDecodeError as error:
        failures.append(f"{where}: body is not UTF-8: {error}")
        return
    parts = set(re.findall(rb"Content-Location: file:///(\S+)\r\n", out[end:]))
    for src in re.findall(r'<IMG src="file:///([^"]+)"', text):
        if src.encode() not in parts:
            failures.append(f"{where}: image {src} has no MIME part")

    parser = html5lib.HTMLParser(strict=False)
    document = parser.parse(DOCUMENT_HEAD + text)
    for position, code, data in parser.errors:
        key = (code, data.get("name") if isinstance(data, dict) else None)
        parse_errors[key] += 1
        if key not in PARSE_RULES:
            failures.append(f"{where}: parse error {key} at {position}")

    item_text = run(rt2html, "--item-text", db, note_id, item)
    failed = item_text.returncode != 0
    if failed and b"item text failed, status 6" not in item_text.stderr:
        failures.append(f"{where}: item text exits {item_text.returncode}: {item_text.stderr[:300]!r}")
        return
    try:
        wanted = item_text.stdout.decode("utf-8")
    except UnicodeDecodeError as error:
        failures.append(f"{where}: item text is not UTF-8: {error}")
        return
    used, problem = compare(visible_text(document, False), visible_text(document, True), wanted, failed)
    if problem is not None:
        failures.append(f"{where}: visible text and item text: {problem}")
        return
    text_rules["(none)" if not used else " + ".join(used)] += 1
    for rule in used:
        text_rules[rule] += 0  # listed even when only part of a combination


def main():
    options = parse_options()
    rt2html, samples = options.rt2html, options.samples
    options.require(rt2html, *(samples / name for name in SAMPLES))
    failures = []
    parse_errors = collections.Counter()
    text_rules = collections.Counter()
    items = 0
    for name in SAMPLES:
        db = samples / name
        listed = run(rt2html, "--list", db)
        if listed.returncode != 0:
            failures.append(f"{name}: --list exits {listed.returncode}: {listed.stderr[:200]!r}")
        entries = [line.split("\t", 1) for line in listed.stdout.decode("utf-8").splitlines()]
        if not entries:
            failures.append(f"{name}: no rich-text items listed")
        for note_id, item in entries:
            items += 1
            check_item(rt2html, db, note_id, item, f"{name} note {note_id} item {item}", failures,
                       parse_errors, text_rules)

    print(f"{items} rich-text items converted and compared with their item text")
    print("parse errors:")
    for key, count in sorted(parse_errors.items(), key=lambda kv: -kv[1]):
        print(f"  {count:5} x {key}: {PARSE_RULES.get(key, 'NOT EXPLAINED')}")
    print("visible text against item text (items per combination of rules):")
    for key, count in sorted(text_rules.items(), key=lambda kv: -kv[1]):
        if count:
            print(f"  {count:5} x {key}")
    for rule, reason in TEXT_RULES.items():
        print(f"  rule {rule}: {reason}")
    if items < 150:
        failures.append(f"only {items} rich-text items found")
    for failure in failures[:50]:
        print(f"FAIL: {failure}", file=sys.stderr)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
