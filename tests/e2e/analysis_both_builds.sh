#!/usr/bin/env bash
# The 64-bit and the 32-bit program compute the same best focus from the same step
# lines. AnalysisDump.exe of each build (tools/analysis_dump) reads the same thousand
# made-up curves (made from integers alone, so identical on both) and prints, per
# curve, the three-point result and every answer of the curve analysis with the fit and
# the check on: the result, the fitted maximum and the fit's quality to the last bit,
# whether the fit is trusted, the line left out, the check's verdict. The two outputs
# must be identical; a build that cannot run, or that prints fewer lines, fails, and so
# does a set of curves that no longer reaches each of the analysis's decisions. The
# 32-bit build computes in SSE2 as the 64-bit one does; its analysis is also
# disassembled, and must hold no x87 arithmetic (the x87 unit's extended precision made
# the two builds decide differently on a last bit).
# e2e: needs-both-builds (it runs AnalysisDump.exe of each)
source "$(dirname "$0")/lib.sh"
e2e_begin analysis_both_builds --plain

# A thousand curves take each build about five seconds of processor time under Wine;
# a difference in a last bit shows in most lines (the fit iterates on it).
CURVES=1000
DUMP=tools/analysis_dump/AnalysisDump.exe

# dump BUILD NAME: runs that build's AnalysisDump.exe; its output goes to NAME.txt.
dump() {
  local exe=$1/$DUMP out=$E2E_DIR/$2.txt rc
  : > "$out"
  if [ ! -f "$exe" ]; then
    fail "$2: $exe is missing (not built?)"
    return
  fi
  timeout -k 5 120 wine "$exe" "$CURVES" 2> "$E2E_DIR/$2.err" | tr -d '\r' > "$out"
  rc=${PIPESTATUS[0]}
  expect_eq "$2: exit status" "$rc" 0
  expect_eq "$2: one line a curve" "$(wc -l < "$out")" "$CURVES"
  [ "$rc" = 0 ] || sed 's/^/      /' "$E2E_DIR/$2.err" | tail -5
}
dump "$QM_BUILD64" 64-bit
dump "$QM_BUILD32" 32-bit
# Each is the program of its architecture (two copies of one build would agree).
for build in "64-bit x86_64 pei-x86-64 $QM_BUILD64" "32-bit i686 pei-i386 $QM_BUILD32"; do
  read -r name cpu format dir <<<"$build"
  expect_eq "$name: the program's format" \
    "$("$cpu-w64-mingw32-objdump" -f "$dir/$DUMP" 2>&1 | sed -n 's/.*file format //p')" "$format"
done

out64=$E2E_DIR/64-bit.txt out32=$E2E_DIR/32-bit.txt
if [ ! -s "$out64" ] || [ ! -s "$out32" ]; then
  fail "identical answers: a build gave none to compare"
elif cmp -s "$out64" "$out32"; then
  pass "identical answers for $CURVES curves"
else
  # Lines that differ, and those among them that differ beyond the fit's last bits (in
  # the result, the rule, the trust, the line left out or the verdict), shown first.
  awk '{ line = $0; gsub(/ (peak|quality)=[0-9a-f]+/, "", line) }
    NR == FNR { a[FNR] = $0; d[FNR] = line; next }
    { b32[FNR] = $0 }
    a[FNR] != $0 { n++; if (d[FNR] != line) first[++m] = FNR; else if (++b <= 4) bits[b] = FNR }
    END {
      printf "the answers differ in %d lines of %d, in %d beyond the fit'"'"'s last bits\n", n, curves, m
      for (i = 1; i <= m && i <= 4; i++) show[++k] = first[i]
      for (i = 1; k < 4 && i <= b; i++) show[++k] = bits[i]
      for (i = 1; i <= k; i++) { print "      64-bit: " a[show[i]]; print "      32-bit: " b32[show[i]] }
    }' curves="$CURVES" "$out64" "$out32" > "$E2E_DIR/differences.txt"
  fail "$(head -1 "$E2E_DIR/differences.txt")"
  tail -n +2 "$E2E_DIR/differences.txt"
fi

# The curves must reach each of the analysis's decisions, or identical answers say little.
#          what                                    pattern (grep -E)
while read -r what pattern; do
  n=$(grep -cE -- "$pattern" "$out64")
  expect_true "the curves reach: ${what//_/ } ($n curves)" test "$n" -ge 20
done <<'TABLE'
a_failed_three-point_rule                    rule=0 
a_fit_that_did_not_converge                  converged=0 
a_trusted_fit                                trusted=1 
a_converged_fit_not_trusted                  converged=1 .* trusted=0 
a_line_left_out                              dropped=[1-9]
a_check_that_passed                          check=passed
a_check_that_refused_a_converged_fit         converged=1 .* check="
TABLE
moved=$(awk '{ for (i = 1; i <= NF; i++) { split($i, kv, "="); v[kv[1]] = kv[2] } }
             v["result"] != 0 && v["result"] != v["rule"] { n++ } END { print n + 0 }' "$out64")
expect_true "the curves reach: a fit that moved the result off the three-point one ($moved curves)" test "$moved" -ge 20

# No x87 arithmetic in the 32-bit analysis. The 32-bit calling convention returns a double
# in st(0), and GCC converts 64-bit integers and takes absolute values there; those moves
# (fld, fst, fild, fist, fabs, fchs) and comparisons are exact. Arithmetic rounds to the
# x87 unit's 64-bit mantissa, not to a double's: none of it may be in the analysis.
objdump32=i686-w64-mingw32-objdump
exe32=$QM_BUILD32/$DUMP
if ! command -v "$objdump32" >/dev/null; then
  fail "$objdump32 is missing (package binutils-mingw-w64-i686)"
elif [ ! -f "$exe32" ]; then
  fail "no 32-bit $DUMP to disassemble"
else
  x87=$("$objdump32" -d --no-show-raw-insn -C "$exe32" 2>/dev/null | awk '
    /^[0-9a-f]+ <.*>:$/ {
      inside = $0 ~ /^[0-9a-f]+ <qm::/
      name = $0; sub(/^[0-9a-f]+ </, "", name); gsub(/\(anonymous namespace\)::/, "", name); sub(/\(.*/, "", name)
      next
    }
    inside && $2 ~ /^f(i?(add|sub|mul|div)|sqrt|scale|2xm1|yl2x|prem|patan|ptan|sin|cos|rndint)/ { print name " " $2 }' |
    sort | uniq -c | sort -rn | head -5)
  functions=$("$objdump32" -d -C "$exe32" 2>/dev/null | grep -cE '^[0-9a-f]+ <qm::')
  expect_true "the 32-bit build's functions found in its disassembly ($functions)" test "$functions" -ge 20
  expect_eq "x87 arithmetic in the 32-bit analysis" "${x87:-none}" none
fi
