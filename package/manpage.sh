#!/bin/sh
# Makes the manual page plottertest(1) from what `plottertest --help` says, so
# that the two cannot drift apart.
#   manpage.sh PROGRAM WIRING_SEEN WIRING_INSTALLED OUTPUT
# WIRING_SEEN, the wiring path the program names where it was built, is
# replaced by WIRING_INSTALLED.
set -eu
program=$1 seen=$2 installed=$3 output=$4
"$program" --help > "$output.help"
version=$("$program" --version | sed 's/^plottertest //')
# Paragraphs (between empty lines) with indented lines keep their lines as they
# are; the others are filled by man. The first line names the program.
awk -v seen="$seen" -v installed="$installed" -v version="$version" '
  function roff(text) {
    gsub(/\\/, "\\e", text)
    gsub(/--/, "\\-\\-", text)
    gsub(/ -/, " \\-", text)
    if (text ~ /^[.\047]/) text = "\\&" text
    return text
  }
  function flush(   i, indented) {
    if (n == 0) return
    indented = 0
    for (i = 1; i <= n; i++) if (para[i] ~ /^ /) indented = 1
    print ".PP"
    if (indented) print ".nf"
    for (i = 1; i <= n; i++) print roff(para[i])
    if (indented) print ".fi"
    n = 0
  }
  NR == 1 {
    sub(/^[^–]*– /, "")
    print ".TH PLOTTERTEST 1 \"\" \"plottertest " version "\" \"Benutzerbefehle\""
    print ".SH NAME"
    print "plottertest \\- " $0
    print ".SH \"ÜBERSICHT\""
    print ".B plottertest"
    print "[\\fB\\-\\-help\\fR | \\fB\\-h\\fR | \\fB\\-\\-version\\fR]"
    print ".SH BESCHREIBUNG"
    next
  }
  {
    i = index($0, seen)
    if (i > 0) $0 = substr($0, 1, i - 1) installed substr($0, i + length(seen))
  }
  /^$/ { flush(); next }
  { para[++n] = $0 }
  END { flush() }
' "$output.help" > "$output"
rm -f "$output.help"
