#!/usr/bin/env bash
# Checks the layers of the libraries from CMake's own link graph: no
# headless library reaches Qt Widgets, Qt PrintSupport, a window library or
# the office library (but the office library itself and the function
# installer that gathers every library's functions), and no window library
# reaches the workspace's. Prints the offending paths and exits 1.
#
#   scripts/check-layers.sh
set -euo pipefail
cd "$(dirname "$0")/.."
work=$(mktemp -d /tmp/quarn-layers.XXXXXX)
trap 'rm -rf "$work"' EXIT
cmake -S . -B "$work/build" -G Ninja -DQUARN_TESTS=OFF -DQUARN_BENCH=OFF --graphviz="$work/graph/quarn.dot" >/dev/null
python3 - "$work/graph/quarn.dot" <<'PY'
import re, sys
text = open(sys.argv[1]).read()
names = dict(re.findall(r'"(node\d+)" \[ label = "([^"]+)"', text))
edges = {}
for a, b in re.findall(r'"(node\d+)" -> "(node\d+)"', text):
    edges.setdefault(names[a], []).append(names[b])

def paths(start):
    """Every library reachable from start, with the path that reaches it."""
    seen, todo = {start: [start]}, [start]
    while todo:
        n = todo.pop()
        for m in edges.get(n, []):
            if m not in seen:
                seen[m] = seen[n] + [m]
                todo.append(m)
    return seen

headless = ["quarn_common", "quarn_script", "quarn_data", "quarn_widgets", "quarn_grid",
            "quarn_report", "quarn_viewer", "quarn_office", "quarn_functions"]
windows = sorted(n for n in names.values() if n.endswith("_ui") and n != "quarn_workspace_ui")
missing = [n for n in headless + windows if n not in edges and n not in names.values()]
if missing:
    sys.exit("not in the link graph: " + ", ".join(missing))
bad = []
for lib in headless:
    reach = paths(lib)
    for target in reach:
        if target in ("Qt6::Widgets", "Qt6::PrintSupport") or target.endswith("_ui") \
                or (target == "quarn_office" and lib not in ("quarn_office", "quarn_functions")):
            bad.append(" -> ".join(reach[target]))
for lib in windows:
    reach = paths(lib)
    if "quarn_workspace_ui" in reach:
        bad.append(" -> ".join(reach["quarn_workspace_ui"]))
for b in bad:
    print("layer crossed:", b)
if bad:
    sys.exit(1)
print("layers: %d headless and %d window libraries checked" % (len(headless), len(windows)))
PY
