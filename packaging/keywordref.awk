# Renders the configuration reference of README.md (the section
# "## Configuration reference": its paragraphs, lists and the keyword
# table) as man(7) text, put in place of the line "%KEYWORDS%" of a
# template. One source for the README and pondlark.cfg(5):
#   awk -f keywordref.awk README.md pondlark.cfg.5.in > pondlark.cfg.5

function inline(s,    out, m) {
    # Markdown escapes, then roff's backslash.
    gsub(/\\\*/, "*", s)
    gsub(/\\_/, "_", s)
    gsub(/\\/, "\\e", s)
    out = ""
    while (match(s, /`[^`]*`/)) {
        out = out substr(s, 1, RSTART - 1) "\\fB" substr(s, RSTART + 1, RLENGTH - 2) "\\fR"
        s = substr(s, RSTART + RLENGTH)
    }
    s = out s
    out = ""
    while (match(s, /\*\*[^*]+\*\*/)) {
        out = out substr(s, 1, RSTART - 1) "\\fB" substr(s, RSTART + 2, RLENGTH - 4) "\\fR"
        s = substr(s, RSTART + RLENGTH)
    }
    return out s
}

# Text lines: one sentence a line, none longer than 79 bytes (broken at
# a space), none starting with a control character.
function text(s,    lines, n, i, line, cut) {
    s = inline(s)
    gsub(/\. +/, ".\n", s)
    n = split(s, lines, "\n")
    for (i = 1; i <= n; i++) {
        line = lines[i]
        sub(/^ +/, "", line)
        while (length(line) > 79) {
            cut = 79
            while (cut > 1 && substr(line, cut, 1) != " ") cut--
            if (cut <= 1) break
            textline(substr(line, 1, cut - 1))
            line = substr(line, cut + 1)
        }
        textline(line)
    }
}

function textline(line) {
    if (line == "") return
    if (line ~ /^[.']/) line = "\\&" line
    emit(line)
}

function emit(s) { rendered = rendered s "\n" }

function cell(row, i,    c) {
    c = row[i]
    sub(/^ +/, "", c)
    sub(/ +$/, "", c)
    gsub(/\001/, "|", c)
    return c
}

function para() {
    if (pending && rendered != "") emit(".PP")
    pending = 0
}

FNR == NR {
    if ($0 == "## Configuration reference") { insection = 1; next }
    if (!insection) next
    if ($0 ~ /^## /) { insection = 0; next }
    line = $0
    if (line ~ /^    / && !intable) {
        if (!incode) { para(); emit(".RS"); emit(".nf"); incode = 1 }
        sub(/^    /, "", line)
        gsub(/\\/, "\\e", line)
        if (line ~ /^[.']/) line = "\\&" line
        emit(line)
        next
    }
    if (incode) { emit(".fi"); emit(".RE"); incode = 0; pending = 1 }
    if (line ~ /^\|/) {
        gsub(/\\\|/, "\001", line)
        if (!intable) { intable = 1; pending = 0; next }   # the header row
        if (line ~ /^\| *-/) next                       # the rule under it
        n = split(line, row, "|")
        emit(".TP")
        text(cell(row, 2))
        text(cell(row, 3))
        if (n >= 5 && cell(row, 4) != "") { emit(".br"); text("Default: " cell(row, 4)) }
        next
    }
    if (intable) { intable = 0; pending = 1 }
    if (line ~ /^ *$/) { pending = 1; next }
    if (line ~ /^### /) { emit(".SS " inline(substr(line, 5))); pending = 0; next }
    if (line ~ /^- /) { emit(".IP \\(bu 2"); text(substr(line, 3)); pending = 0; next }
    para()
    text(line)
    next
}

$0 == "%KEYWORDS%" {
    if (incode) { emit(".fi"); emit(".RE") }
    if (rendered == "") { print "keywordref.awk: no configuration reference in the README" > "/dev/stderr"; exit 1 }
    printf "%s", rendered
    next
}
{ print }
