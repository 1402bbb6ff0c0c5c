#!/usr/bin/env bash
# Runs the report templates of bench/outputs with the batch tool of a base
# revision and with the one of this tree's build, over the same SQLite
# table, and compares the outputs byte for byte.
#
#   scripts/compare-outputs.sh [BASE_REV] [ROWS]    (default: HEAD, 100000)
#
# The base revision is built in a temporary worktree (with ccache when it is
# installed). Exit 0 when every output is the same, 1 otherwise.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
base=${1:-HEAD}
rows=${2:-100000}
# inside the tree (build-* is ignored), so that ccache sees the same
# relative paths as in other checkouts and reuses their objects
work=$(mktemp -d "$root/build-compare.XXXXXX")
trap 'git -C "$root" worktree remove --force "$work/base" >/dev/null 2>&1 || true; rm -rf "$work"' EXIT

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

git worktree add --detach -q "$work/base" "$base"
cmake -S "$work/base" -B "$work/base/bcc" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUARN_WERROR=ON "${launcher[@]}" >/dev/null
nice cmake --build "$work/base/bcc" -j"$(nproc)" --target quarn-report >/dev/null
cmake --build build -j"$(nproc)" --target quarn-report >/dev/null

# the benchmark's table: ten cities in order, two per region
python3 - "$work/cmp.db" "$rows" <<'PY'
import sqlite3, sys
db = sqlite3.connect(sys.argv[1]); rows = int(sys.argv[2])
db.execute("create table SALES (ID integer primary key, REGION varchar(20), CITY varchar(20),"
           " NAME varchar(30), QTY integer, AMOUNT numeric(12,2), DT date)")
def row(i):
    city = i * 10 // rows
    return (i, f"Регион {city // 2}", f"Город {city}", f"Клиент {i % 997}", i % 17,
            (i % 1000) + 0.25, f"2024-{i % 12 + 1:02d}-{i % 28 + 1:02d}")
db.executemany("insert into SALES values (?, ?, ?, ?, ?, ?, ?)", (row(i) for i in range(1, rows + 1)))
db.commit()
PY

status=0
for side in base new; do
  mkdir -p "$work/$side/home" "$work/$side/config" "$work/$side/out"
  printf '[CMP]\nDriver=QSQLITE\nDatabase=%s\n' "$work/cmp.db" > "$work/$side/config/aliases.ini"
done
for t in bench/outputs/*.fmt; do
  name=$(basename "$t" .fmt)
  for side in base new; do
    bin=$root/build/bin/quarn-report
    [ "$side" = base ] && bin=$work/base/bcc/bin/quarn-report
    (cd "$work/$side/out" && QUARN_HOME="$work/$side/home" QUARN_CONFIG="$work/$side/config" QT_QPA_PLATFORM=offscreen \
      "$bin" --alias CMP --template "$root/$t" --query "select * from SALES order by ID" --out "$name.prn" \
      > "$name.log" 2>&1) || echo "$name ($side): exit $? — $(tail -1 "$work/$side/out/$name.log")"
  done
  if cmp -s "$work/base/out/$name.prn" "$work/new/out/$name.prn"; then
    echo "$name: same ($(stat -c %s "$work/new/out/$name.prn") bytes)"
  else
    echo "$name: DIFFERENT"
    status=1
  fi
done
exit $status
