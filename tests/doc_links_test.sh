#!/bin/sh
# The README's and doc/'s links resolve: every relative link names a file of
# the repository, and every #anchor a heading of the file it points into.
# Usage: doc_links_test.sh SOURCE_DIR
set -eu
cd "$1"
failed=0
# The anchor a heading gets: lower case, blanks as -, punctuation dropped.
anchors() {
  sed -n 's/^#\{1,6\} //p' "$1" | tr 'A-Z' 'a-z' | sed 's/[^a-z0-9 _-]//g; s/ /-/g'
}
for page in README.md doc/*.md; do
  dir=$(dirname "$page")
  for link in $(grep -o '](\([^)#:]*\)\?\(#[^)]*\)\?)' "$page" | sed 's/^](//; s/)$//'); do
    file=${link%%#*}
    target=$page
    [ -n "$file" ] && target="$dir/$file"
    if [ ! -e "$target" ]; then
      echo "FAILED: $page links to $link: no $target"
      failed=1
      continue
    fi
    case "$link" in
      *'#'*)
        anchor=${link#*#}
        anchors "$target" | grep -qx -- "$anchor" || { echo "FAILED: $page links to $link: no heading #$anchor"; failed=1; }
        ;;
    esac
  done
done
exit "$failed"
