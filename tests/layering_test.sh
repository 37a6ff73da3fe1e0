#!/usr/bin/env bash
# The layers point one way: parse knows no other layer and no Qt; outline knows neither the
# window, the platform nor Qt's widgets; platform knows neither the window nor the outline; and
# within the outline, reading, nodes, the walk, printing and find build on one another in turn
# (the folder index builds on the walk, beside the printer).
# Usage: layering_test.sh <src folder> <Qt widgets include folders, ;-separated>
set -u
src=$1
failures=0

widgets_dir=
IFS=';' read -ra include_dirs <<<"$2"
for dir in "${include_dirs[@]}"; do
    [[ ${dir%/} == */QtWidgets ]] && widgets_dir=$dir
done
# Every header Qt's widgets module ships, by the names an #include gives them.
widgets=$(ls "$widgets_dir" 2>/dev/null | sed 's/\./\\./g' | paste -sd'|')
if [[ -z $widgets ]]; then
    echo "FAIL: no widget headers found in '$2'"
    exit 1
fi

# forbid LAYER PATTERN WHY: no file of src/LAYER includes a name matching PATTERN (extended
# regular expression, anchored at the start of the included name).
forbid() {
    local layer=$1 pattern=$2 why=$3
    if [[ ! -d $src/$layer ]]; then
        echo "FAIL: no folder $src/$layer"
        failures=$((failures + 1))
        return
    fi
    local hits
    hits=$(grep -rnE "^[[:space:]]*#[[:space:]]*include[[:space:]]*[<\"]($pattern)" "$src/$layer" \
        --include='*.h' --include='*.cpp')
    if [[ -n $hits ]]; then
        echo "FAIL: src/$layer $why:"
        echo "$hits"
        failures=$((failures + 1))
    fi
}

forbid parse 'outline/|ui/|platform/|Q|qt[a-z]*/|q[a-z0-9_]*\.h' 'includes another layer or Qt'
forbid outline "ui/|platform/|QtWidgets|($widgets)[>\"]" 'includes the window, the platform or widgets'
forbid platform 'ui/|outline/' 'includes the window or the outline'
# Inside the outline: bytes are read, then walked into nodes and checks, then printed or found;
# each part knows only those before it.
forbid outline/read 'outline/(nodes|check|walk|text|find|model)/' 'includes what is made of the bytes'
forbid outline/nodes 'outline/(check|walk|text|find|model)/' 'includes the checks, the walk, the printer or find'
forbid outline/check 'outline/(nodes|walk|text|find|model)/' 'includes the nodes, the walk, the printer or find'
forbid outline/walk 'outline/(text|find|model)/' 'includes the printer, find or the model'
forbid outline/text 'outline/(find|model)/' 'includes find or the model'
forbid outline/find 'outline/(check|walk|text|model)/' 'includes the walk, the printer or the model'
forbid outline/index 'outline/(text|find|model)/' 'includes the printer, find or the model'

[[ $failures -eq 0 ]] && echo "the layers include only what lies below them"
[[ $failures -eq 0 ]]
