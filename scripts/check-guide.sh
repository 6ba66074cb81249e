#!/usr/bin/env bash
# Checks the operators' guide docs/ja/guide.md against the program:
#  1. cmark-gfm (CommonMark with tables) turns it into HTML;
#  2. every image and relative link it names exists, and every link to an
#     anchor (#id) has its <a id="id"> in the guide;
#  3. every program text it cites is found in the program's sources. A cited
#     text is what stands between 「 and its matching 」 (outermost pair, nested
#     pairs belong to the text, one line, outside ``` blocks) when it holds a
#     Japanese character. It is found when it is part of one string literal of
#     the tracked C++ files in app/ dialogs/ engine/ mail/ report/ settings/
#     platform/ tools/ (adjacent literals joined, escapes resolved, comments
#     left out); a %1 to %9 in a literal stands for any text, provided that the
#     literal's own characters make at least half of the cited text.
# Prints what is missing and exits 1; exits 0 when all is well.
set -euo pipefail
cd "$(dirname "$0")/.."
guide=docs/ja/guide.md

if ! command -v cmark-gfm >/dev/null; then
  echo "check-guide: cmark-gfm is missing (scripts/setup.sh installs it)" >&2
  exit 1
fi
html=$(cmark-gfm -e table --unsafe "$guide")
for element in '<h1>' '<table>' '<img '; do
  grep -q "$element" <<<"$html" || { echo "check-guide: no $element in the HTML of $guide" >&2; exit 1; }
done

git ls-files -z app dialogs engine mail report settings platform tools |
  grep -zE '\.(cpp|h)$' | python3 -c '
import re, sys, os

guide = sys.argv[1]
base = os.path.dirname(guide)
text = open(guide, encoding="utf-8").read()
sources = [p for p in sys.stdin.read().split("\0") if p]
failed = False

def fail(what):
    global failed
    failed = True
    print(what)

# Prose only: fenced blocks hold samples, not citations.
prose = re.sub(r"^```.*?^```", "", text, flags=re.M | re.S)

# 2. Images, links and anchors.
anchors = set(re.findall(r"<a id=\"([^\"]+)\"", text))
for target in re.findall(r"!?\[[^\]]*\]\(([^)\s]+)", prose):
    if re.match(r"[a-z]+:", target):
        continue
    if target.startswith("#"):
        if target[1:] not in anchors:
            fail("no anchor: " + target)
    elif not os.path.exists(os.path.join(base, target.split("#")[0])):
        fail("missing file: " + target)

# 3. The string literals of the sources.
ESC = {"n": "\n", "r": "\r", "t": "\t", "\"": "\"", "\\": "\\", "'"'"'": "'"'"'"}
def literals(code):
    found, i, n, last_end = [], 0, len(code), -1
    while i < n:
        c = code[i]
        if code.startswith("//", i):
            i = code.find("\n", i); i = n if i < 0 else i
        elif code.startswith("/*", i):
            i = code.find("*/", i + 2) + 2
        elif c == "\"" and code[i-1:i] == "R":
            delim = code[i + 1:code.index("(", i)]
            end = code.index(")" + delim + "\"", i)
            found.append(code[code.index("(", i) + 1:end]); i = end + len(delim) + 2
            last_end = i
        elif c == "\"":
            j, s = i + 1, []
            while code[j] != "\"":
                if code[j] == "\\":
                    s.append(ESC.get(code[j + 1], code[j + 1])); j += 2
                else:
                    s.append(code[j]); j += 1
            if last_end >= 0 and code[last_end:i].strip() == "":
                found[-1] += "".join(s)
            else:
                found.append("".join(s))
            i = last_end = j + 1
        elif c == "'"'"'":
            j = i + 1
            while code[j] != "'"'"'":
                j += 2 if code[j] == "\\" else 1
            i = j + 1
        else:
            i += 1
    return found

strings = set()
for path in sources:
    strings.update(literals(open(path, encoding="utf-8").read()))
pieces = [re.split(r"%[1-9]", s) for s in strings if re.search(r"%[1-9]", s)]

def found(cited):
    if any(cited in s for s in strings):
        return True
    for parts in pieces:
        for i in range(len(parts) - 1):
            for j in range(i + 1, len(parts)):
                first, last = parts[i], parts[j]
                for s in range(len(first) + 1):
                    if not cited.startswith(first[s:]):
                        continue
                    for e in range(len(last) + 1):
                        if not cited.endswith(last[:e]):
                            continue
                        fixed = [first[s:]] + parts[i + 1:j] + [last[:e]]
                        pattern = ".+?".join(re.escape(f) for f in fixed)
                        if (2 * sum(map(len, fixed)) >= len(cited)
                                and re.fullmatch(pattern, cited, re.S)):
                            return True
    return False

japanese = re.compile("[\u3040-\u30ff\u3400-\u9fff\uff01-\uffef]")
cited = []
for line in prose.splitlines():
    depth = 0
    for k, ch in enumerate(line):
        if ch == "「":
            if depth == 0:
                start = k + 1
            depth += 1
        elif ch == "」" and depth > 0:
            depth -= 1
            if depth == 0:
                cited.append(line[start:k])
checked = [c for c in dict.fromkeys(cited) if japanese.search(c)]
for c in checked:
    if not found(c):
        fail("not in the program: 「" + c + "」")
print("check-guide: %d cited texts, %d links and images checked" % (
    len(checked), len(re.findall(r"\]\(", prose))))
sys.exit(1 if failed else 0)
' "$guide"
