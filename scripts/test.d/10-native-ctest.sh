# Native build: every test through ctest, one layer at a time (unit, device,
# workflow, zflash: the ctest labels), each reported on its own line. The
# fault-matrix cells and the line's servers (label line) have their own steps.
# A test without a layer's label would run in none of them: that fails the
# step.
# zf-step: quick beside native
. scripts/test-lib.sh
dir=build/native
zf_need "$dir/CTestTestfile.cmake" native-ctest || exit 1
layers=(unit device workflow zflash)
own_steps=(line)  # 55-line.sh

unlabelled=$(ctest --test-dir "$dir" --show-only=json-v1 | python3 -c '
import json, sys
layers = set(sys.argv[1:])
for test in json.load(sys.stdin)["tests"]:
    labels = next((p["value"] for p in test.get("properties", []) if p["name"] == "LABELS"), [])
    if not layers & set(labels):
        print(test["name"])' "${layers[@]}" "${own_steps[@]}")
if [ -n "$unlabelled" ]; then
    echo "native-ctest: tests without a layer label (${layers[*]}):" >&2
    echo "$unlabelled" >&2
    zf_report 0 "$(wc -l <<<"$unlabelled")" native-unlabelled
fi
for layer in "${layers[@]}"; do
    zf_timed "$layer" zf_ctest "native-$layer" "$dir" -L "^$layer\$" -LE '^faultmatrix$'
done
