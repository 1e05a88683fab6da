#!/bin/bash
# scripts/compare_outputs.sh BIN OUTDIR: every output of catalog-dump and catalog-build (both in
# BIN) on every fixture catalog and script, into OUTDIR, so that two builds can be compared with
# diff -r: each table dumped, --sqlite, the listing statements with and without a sort and a
# filter, and catalog-build of every script in both formats and of every --sqlite dump.
# FIXTURES: a folder with hostile/ and large-20k.mdb besides tests/data (../shared/fixtures).
set -u
BIN=$1; OUT=$2; rm -rf "$OUT"; mkdir -p "$OUT"
here="$(cd "$(dirname "$0")/.." && pwd)"
SRC="$here/tests/data"
FIX="${FIXTURES:-$here/../shared/fixtures}"
H="SELECT A.Name,A.Description,Price,B.Description As Type,Requirements,Uninstaller,Limitations,ScreenURL,DownloadURL1,DownloadURL2,DownloadURL3,BuyURL,Rating,C.Name As [Company Name],C.URL As [Company URL],C.Description As [Company Desc] FROM Software A,SoftwareType B, Site C WHERE "
J="A.SoftwareTypeID = B.SoftwareTypeID AND A.SiteID = C.SiteID"
queries=(
 "$H$J ORDER BY A.Name"
 "$H(A.Name LIKE '%an%' OR A.Description LIKE '%an%') AND $J ORDER BY A.Name"
 "$H(A.Name LIKE '%don''t%' OR A.Description LIKE '%don''t%') AND $J ORDER BY A.Name"
 "${H}CategoryID = 1 AND $J ORDER BY A.Name"
 "${H}CategoryID = 3 AND $J ORDER BY A.Name"
 "${H}SubCategoryID = 2 AND $J ORDER BY A.Name"
 "${H}A.Name ='Backup Buddy' AND $J"
 "SELECT * FROM Category ORDER BY Name"
 "SELECT * FROM SubCategory WHERE CategoryID = 1 ORDER BY Name"
 "SELECT * FROM Software"
)
files=$(ls $SRC/*.mdb $SRC/*.accdb $SRC/hostile/* $FIX/hostile/* $FIX/large-20k.mdb 2>/dev/null)
n=0
for f in $files; do
  b=$(basename $(dirname $(dirname $f)))_$(basename $(dirname $f))_$(basename $f)
  "$BIN/catalog-dump" "$f" > "$OUT/$b.dump" 2>"$OUT/$b.dump.err"; echo "rc=$?" >> "$OUT/$b.dump.err"
  "$BIN/catalog-dump" "$f" --sqlite "$OUT/$b.sqlite" > /dev/null 2>"$OUT/$b.sqlite.err"; echo "rc=$?" >> "$OUT/$b.sqlite.err"
  [ -f "$OUT/$b.sqlite" ] && sqlite3 "$OUT/$b.sqlite" .dump > "$OUT/$b.sqlite.sql"
  i=0
  for q in "${queries[@]}"; do
    "$BIN/catalog-dump" "$f" --query "$q" > "$OUT/$b.q$i" 2>&1; echo "rc=$?" >> "$OUT/$b.q$i"
    "$BIN/catalog-dump" "$f" --query "$q" --sort "Price DESC" --filter "Name LIKE 'b*'" > "$OUT/$b.q$i.sf" 2>&1; echo "rc=$?" >> "$OUT/$b.q$i.sf"
    i=$((i+1))
  done
  n=$((n+1))
done
# builder: every fixture script, both formats, and every dumped sqlite back through the builder
for s in $SRC/*.txt; do
  b=$(basename $s .txt)
  for fmt in jet4 jet3; do
    "$BIN/catalog-build" --format $fmt "$s" "$OUT/build_$b.$fmt.mdb" > "$OUT/build_$b.$fmt.out" 2>&1; echo "rc=$?" >> "$OUT/build_$b.$fmt.out"
  done
done
for q in "$OUT"/*.sqlite; do
  b=$(basename $q .sqlite)
  "$BIN/catalog-build" "$q" "$OUT/rebuild_$b.mdb" > "$OUT/rebuild_$b.out" 2>&1; echo "rc=$?" >> "$OUT/rebuild_$b.out"
done
echo "files: $n; outputs: $(ls $OUT | wc -l)"
