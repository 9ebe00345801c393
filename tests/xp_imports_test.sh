#!/bin/sh
# Every function the Windows program imports must be exported by its DLL on
# Windows XP SP3, or XP's loader refuses to start the program. The lists in
# winxp-exports/ (one per DLL, with their sources, rules and caveats in their
# headers) name what XP SP3 exports. A DLL without a list fails, unless it is
# named in NOT_CHECKED below with the reason. The PE header must not ask for a
# Windows newer than XP (5.1) either.
# Usage: xp_imports_test.sh OBJDUMP PROGRAM EXPORTS_DIR
set -eu
objdump=$1 program=$2 lists=$3
NOT_CHECKED=""  # "dll:reason;dll:reason"; none so far

"$objdump" -p "$program" | awk -v lists="$lists" -v notChecked="$NOT_CHECKED" '
  BEGIN { n = split(notChecked, pairs, ";"); for (i = 1; i <= n; i++) { split(pairs[i], p, ":"); skip[p[1]] = p[2] } }
  /^\tDLL Name: / { dll = tolower($3); order[++dlls] = dll; next }
  # An import by name ends in its name: "\tvma\t  hint  name" (binutils 2.40),
  # "\tvma  <none>  hint  name" (2.44).
  /^\t[0-9a-f]+[ \t]+/ && dll != "" && NF >= 3 { imports[dll] = imports[dll] " " $NF; count[dll]++ }
  $1 == "MajorOSystemVersion" { os = $2 } $1 == "MinorOSystemVersion" { os = os "." $2 }
  $1 == "MajorSubsystemVersion" { sub_ = $2 } $1 == "MinorSubsystemVersion" { sub_ = sub_ "." $2 }
  END {
    failed = 0
    for (d = 1; d <= dlls; d++) {
      dll = order[d]; list = lists "/" substr(dll, 1, length(dll) - 4) ".txt"
      if ((getline line < list) <= 0) {
        if (dll in skip) { print dll ": " count[dll] " imports not checked: " skip[dll]; continue }
        print "FAILED: " dll ": no list of what Windows XP SP3 exports (" list ")"; failed = 1; continue
      }
      delete exported
      do { if (line !~ /^#/) exported[line] = 1 } while ((getline line < list) > 0)
      close(list)
      missing = ""
      if (count[dll] == 0) { print "FAILED: " dll ": no imports read (has objdump changed its format?)"; failed = 1 }
      n = split(imports[dll], names, " ")
      for (i = 1; i <= n; i++) if (!(names[i] in exported)) missing = missing " " names[i]
      if (missing != "") { print "FAILED: " dll ": not exported on Windows XP SP3:" missing; failed = 1 }
      else print dll ": " count[dll] " imports, all exported on Windows XP SP3"
    }
    print "PE header: OS version " os ", subsystem version " sub_
    split(os, o, "."); split(sub_, s, ".")
    if (o[1] * 100 + o[2] > 501 || s[1] * 100 + s[2] > 501) { print "FAILED: the header asks for a Windows newer than XP (5.1)"; failed = 1 }
    if (dlls == 0) { print "FAILED: no imports read from the program"; failed = 1 }
    exit failed
  }'
