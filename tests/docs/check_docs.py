#!/usr/bin/env python3
"""Checks README.md and docs/*.md against the tree they describe.

- Every relative link resolves: the file exists and, with a #fragment, the
  target page has a heading of that anchor.
- Every C, C++ or Java block a page shows is a file of the tree: a line
  "`path`:" before it shows the whole file, "From `path`:" a run of its
  lines; the text must match the file, and the file must be one the build
  compiles (named by a CMakeLists.txt above it or by a test script).
- Every source file of the examples under examples/library/ and
  examples/kit/ is shown whole on some page.
- README.md stays at most 400 lines, and each page of docs/ has a table of
  contents that links every one of its sections.
- The library's messages: the table under "Where the library's messages go"
  in docs/library.md lists exactly the rows of src/log/messages.def (route,
  component, level, id and text alike), where no id or text comes twice;
  every row is written by some source, and no source outside src/log writes
  a diagnostic but through the table.

Usage: check_docs.py <source tree>. Prints each fault and exits 1 if any.
"""
import pathlib
import re
import sys

CODE_LANGUAGES = {"c", "cpp", "c++", "java"}
EXAMPLE_FOLDERS = ("examples/library", "examples/kit")
EXAMPLE_SUFFIXES = {".c", ".cpp", ".java"}
README_MAX_LINES = 400
LINK = re.compile(r"\[[^\]]*\]\(([^)\s]+)(?:\s+\"[^\"]*\")?\)")  # images too, titles allowed
FENCE = re.compile(r"^ {0,3}(`{3,}|~{3,})\s*([^\s`]*)")
WHOLE = re.compile(r"^`([^`]+)`:\s*$")
EXCERPT = re.compile(r"^From `([^`]+)`:\s*$")
MESSAGE_TABLE = "src/log/messages.def"
MESSAGE_PAGE = "docs/library.md"
MESSAGE_SECTION = "Where the library's messages go"
MESSAGE_COLUMNS = ["Route", "Component", "Level", "Id", "Text"]
C_STRING = r'"(?:[^"\\\n]|\\.)*"'
MESSAGE_ROW = re.compile(
    r"VESK_MESSAGE\(\s*(\w+)\s*,\s*(" + C_STRING + r")\s*,\s*(\w+)\s*,\s*(\w+)\s*,\s*((?:" + C_STRING
    + r"\s*)+)\)")
SOURCE_SUFFIXES = {".c", ".cpp", ".h", ".hpp", ".y", ".re"}


def anchor(heading):
    """The anchor a Markdown renderer gives a heading, GitHub's way."""
    text = re.sub(r"`|\*\*|\*", "", heading.strip().lower())
    text = re.sub(r"[^\w\- ]", "", text)
    return text.replace(" ", "-")


def parse(lines):
    """Headings (level, text) and fenced blocks (start line, language, text, end line) outside code.

    A block ends at a fence of the same character at least as long as its own."""
    headings, blocks = [], []
    i = 0
    while i < len(lines):
        fence = FENCE.match(lines[i])
        if fence:
            mark = fence.group(1)
            closing = re.compile(r"^ {0,3}" + re.escape(mark[0]) + "{" + str(len(mark)) + r",}\s*$")
            end = i + 1
            while end < len(lines) and not closing.match(lines[end]):
                end += 1
            blocks.append((i, fence.group(2).lower(), "\n".join(lines[i + 1:end]), end))
            i = end + 1
            continue
        heading = re.match(r"^(#{1,6}) (.+)$", lines[i])
        if heading:
            headings.append((len(heading.group(1)), heading.group(2)))
        i += 1
    return headings, blocks


def prose(lines, blocks):
    """The page's lines outside fenced blocks, with their indexes."""
    inside = set()
    for start, _, _, end in blocks:
        inside.update(range(start, end + 1))
    return [(n, line) for n, line in enumerate(lines) if n not in inside]


def paragraphs(text_lines):
    """Runs of adjacent non-blank prose lines, each joined into one line, with the index of its first line."""
    runs, last = [], None
    for n, line in text_lines:
        if not line.strip():
            last = None
            continue
        if last is not None and n == last + 1:
            runs[-1][1].append(line.strip())
        else:
            runs.append((n, [line.strip()]))
        last = n
    return [(n, " ".join(parts)) for n, parts in runs]


def contents_links(text_lines):
    """The in-page links of the list that follows a "Contents:" line."""
    links, listing = [], False
    for _, line in text_lines:
        if line.strip() == "Contents:":
            listing = True
        elif listing and not line.strip():
            break
        elif listing:
            links += [t.partition("#")[2] for t in LINK.findall(line) if t.startswith("#")]
    return set(links)


def numbered_anchors(headings):
    """Each heading's anchor, in order; a repeated one numbered as renderers do."""
    seen, anchors = {}, []
    for _, text in headings:
        base = anchor(text)
        n = seen.get(base, 0)
        seen[base] = n + 1
        anchors.append(base if n == 0 else f"{base}-{n}")
    return anchors


def anchors_of(path, cache={}):
    if path not in cache:
        headings, _ = parse(path.read_text(encoding="utf-8").splitlines())
        cache[path] = set(numbered_anchors(headings))
    return cache[path]


def built(root, path):
    """Whether a CMakeLists.txt above the file, or a test script, names it."""
    names = []
    for folder in path.parents:
        if folder == root.parent:
            break
        if (folder / "CMakeLists.txt").is_file():
            names.append((folder / "CMakeLists.txt", path.relative_to(folder).as_posix()))
    for cmake, name in names:
        if re.search(r"(^|[\s(\"])" + re.escape(name) + r"($|[\s)\"])", uncommented(cmake)):
            return True
    relative = path.relative_to(root).as_posix()
    for script in (root / "tests").rglob("*.sh"):
        text = uncommented(script)
        if relative in text or any("/" + name in text for _, name in names):
            return True
    return False


def uncommented(path):
    """A CMake or shell file's text without its comment lines."""
    lines = path.read_text(errors="replace").splitlines()
    return "\n".join(line for line in lines if not line.lstrip().startswith("#"))


def check_page(root, page, faults, shown_whole):
    lines = page.read_text(encoding="utf-8").splitlines()
    name = page.relative_to(root).as_posix()
    headings, blocks = parse(lines)
    text_lines = prose(lines, blocks)

    for n, line in paragraphs(text_lines):
        for target in LINK.findall(re.sub(r"(`+).+?\1", "", line)):
            if re.match(r"^[a-z]+:", target):
                continue
            file_part, _, fragment = target.partition("#")
            dest = (page.parent / file_part).resolve() if file_part else page
            if not dest.exists():
                faults.append(f"{name}:{n + 1}: link to a missing file: {target}")
            elif fragment and dest.suffix == ".md" and fragment not in anchors_of(dest):
                faults.append(f"{name}:{n + 1}: link to a missing section: {target}")

    for start, language, text, _ in blocks:
        previous = start - 1
        while previous >= 0 and not lines[previous].strip():
            previous -= 1
        marker = lines[previous] if previous >= 0 else ""
        whole, excerpt = WHOLE.match(marker), EXCERPT.match(marker)
        if not whole and not excerpt:
            if language in CODE_LANGUAGES:
                faults.append(f"{name}:{start + 1}: a {language} block that is no file of the tree")
            continue
        shown = (root / (whole or excerpt).group(1)).resolve()
        where = f"{name}:{start + 1}"
        if not shown.is_file() or root not in shown.parents:
            faults.append(f"{where}: shows a file the tree does not have: {shown}")
            continue
        file_text = shown.read_text(encoding="utf-8").rstrip("\n")
        if whole and text != file_text:
            faults.append(f"{where}: differs from {whole.group(1)}")
        if whole:
            shown_whole.add(shown)
        if excerpt and "\n" + text + "\n" not in "\n" + file_text + "\n":
            faults.append(f"{where}: is not a run of lines of {excerpt.group(1)}")
        if not built(root, shown):
            faults.append(f"{where}: {shown.relative_to(root)} is not built by the project")

    if name == "README.md" and len(lines) > README_MAX_LINES:
        faults.append(f"README.md: {len(lines)} lines, more than {README_MAX_LINES}")
    if name.startswith("docs/"):
        linked = contents_links(text_lines)
        for (level, heading), target in zip(headings, numbered_anchors(headings)):
            if level == 2 and target not in linked:
                faults.append(f"{name}: section '{heading}' is missing from the page's contents")


def c_string(literals):
    """The text of adjacent C string literals, as written between their quotes (escapes kept)."""
    return "".join(piece[1:-1] for piece in re.findall(C_STRING, literals))


def message_table(root, faults):
    """The rows of the message table by id: (route, component, level, text)."""
    path = root / MESSAGE_TABLE
    text = re.sub(r"/\*.*?\*/", "", path.read_text(encoding="utf-8"), flags=re.S)
    rows, texts = {}, {}
    matches = list(MESSAGE_ROW.finditer(text))
    for match in matches:
        ident, component, level, route, literals = match.groups()
        row = (route, c_string(component), level, c_string(literals))
        if ident in rows:
            faults.append(f"{MESSAGE_TABLE}: {ident} comes twice")
        if row[3] in texts:
            faults.append(f"{MESSAGE_TABLE}: {ident} has the text of {texts[row[3]]}: {row[3]}")
        rows[ident] = row
        texts.setdefault(row[3], ident)
    if text.count("VESK_MESSAGE(") != len(matches):
        faults.append(f"{MESSAGE_TABLE}: a row that does not read as VESK_MESSAGE(id, \"component\", level, "
                      "route, \"text\")")
    return rows


def table_cells(line):
    """A Markdown table row's cells, split at the pipes that are not escaped, with \\| read as |."""
    cells = re.split(r"(?<!\\)\|", line.strip())
    return [cell.strip().replace("\\|", "|") for cell in cells[1:-1]]


def page_messages(root, faults):
    """The message rows that the page lists in its section, by id, as the table's rows."""
    lines = (root / MESSAGE_PAGE).read_text(encoding="utf-8").splitlines()
    _, blocks = parse(lines)
    inside, header, rows = False, False, {}
    for n, line in prose(lines, blocks):
        if line.startswith("## "):
            inside = line[3:].strip() == MESSAGE_SECTION
        if not inside or not line.startswith("|"):
            header = False  # a table ends at the first line that is none of its rows
            continue
        cells = table_cells(line)
        if cells == MESSAGE_COLUMNS:
            header = True
            continue
        if not header or all(re.fullmatch(r":?-+:?", cell) for cell in cells):
            continue
        where = f"{MESSAGE_PAGE}:{n + 1}"
        code = [re.fullmatch(r"`([^`]*)`", cell) for cell in cells[3:]]
        if len(cells) != len(MESSAGE_COLUMNS) or not all(code):
            faults.append(f"{where}: a message row that is not | route | component | level | `id` | `text` |")
            continue
        ident, text = code[0].group(1), code[1].group(1)
        if ident in rows:
            faults.append(f"{where}: {ident} is listed twice")
        rows[ident] = (cells[0], cells[1], cells[2], text)
    if not rows:
        faults.append(f"{MESSAGE_PAGE}: no table of messages under '{MESSAGE_SECTION}'")
    return rows


def check_messages(root, faults):
    """The page's list of messages against the table, and the table against the sources that write them."""
    table = message_table(root, faults)
    listed = page_messages(root, faults)
    fields = ("route", "component", "level", "text")
    for ident, row in table.items():
        if ident not in listed:
            faults.append(f"{MESSAGE_PAGE}: '{MESSAGE_SECTION}' does not list {ident} ({row[3]})")
        elif listed[ident] != row:
            differ = [fields[k] for k in range(4) if listed[ident][k] != row[k]]
            faults.append(f"{MESSAGE_PAGE}: {ident} differs from {MESSAGE_TABLE} in its {', '.join(differ)}")
    for ident, row in listed.items():
        if ident not in table:
            faults.append(f"{MESSAGE_PAGE}: lists {ident} ({row[3]}), which {MESSAGE_TABLE} does not have")

    written = set()
    for path in sorted((root / "src").rglob("*")):
        if path.suffix not in SOURCE_SUFFIXES or not path.is_file():
            continue
        name = path.relative_to(root).as_posix()
        text = path.read_text(encoding="utf-8", errors="replace")
        for ident in re.findall(r"\bverbose_message\(\s*(\w+)", text):
            written.add(ident)
            if ident not in table and name != "src/log/messages.hpp":
                faults.append(f"{name}: writes {ident}, which {MESSAGE_TABLE} does not have")
        library = not name.startswith(("src/log/", "src/host/"))
        for call in ("verbose_diagnostic", "verbose_in", "verbose_console"):
            if (library or call == "verbose_diagnostic") and not name.startswith("src/log/") and \
                    re.search(rf"\b{call}\s*\(", text):
                faults.append(f"{name}: calls {call}: a message is a row of {MESSAGE_TABLE}, "
                              "written with verbose_message")
    for ident in table:
        if ident not in written:
            faults.append(f"{MESSAGE_TABLE}: {ident} is written by no source")


def main():
    root = pathlib.Path(sys.argv[1]).resolve()
    pages = [root / "README.md"] + sorted((root / "docs").glob("*.md"))
    faults, shown_whole = [], set()
    for page in pages:
        check_page(root, page, faults, shown_whole)
    for folder in EXAMPLE_FOLDERS:
        for example in sorted((root / folder).rglob("*")):
            if example.suffix in EXAMPLE_SUFFIXES and example.resolve() not in shown_whole:
                faults.append(f"{example.relative_to(root)}: an example no page shows")
    check_messages(root, faults)
    for fault in faults:
        print(fault)
    print(f"{len(pages)} pages checked, {len(faults)} faults")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
