#!/bin/bash
# Scaling measurement (not a test): generates mail databases of growing size with nsfrex_mkmail into a
# scratch folder, extracts each in every format with /usr/bin/time -v, times cp -r of the output, and
# prints a Markdown table (time, MB/s of database and of output, peak RSS). Each database is removed
# after its rows (the disk holds one at a time), the scratch folder at the end. After the table, one line
# per size checks the auto extraction against the generator's counts: every mail and every attachment
# extracted, no failure (an attachment whose stored size differs from its file object's fails).
#
#   bench/scaling.sh [BUILD_DIR] [SIZE...]      sizes as nsfrex_mkmail takes them (default 10M 100M 1G 5G)
#   NSFREX_SCRATCH=/big/disk bench/scaling.sh build 10M 100M
set -euo pipefail
build=${1:-build}
shift || true
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(10M 100M 1G 5G)
bin=$(cd "$build/bin" && pwd)
scratch=$(mktemp -d "${NSFREX_SCRATCH:-${TMPDIR:-/tmp}}/nsfrex-scaling.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

checks=()
mb() { awk -v b="$1" 'BEGIN { printf "%.1f", b / 1048576 }'; }
rate() { awk -v b="$1" -v s="$2" 'BEGIN { if (s > 0) printf "%.1f", b / 1048576 / s; else print "-" }'; }
# Elapsed seconds and peak RSS (MB) from a /usr/bin/time -v report.
elapsed() {
    awk -F': ' '/Elapsed \(wall clock\)/ { n = split($2, p, ":"); s = 0; for (i = 1; i <= n; i++) s = s * 60 + p[i]; print s }' "$1"
}
peak() { awk -F': ' '/Maximum resident set size/ { printf "%.0f", $2 / 1024 }' "$1"; }
# User plus system seconds: on a shared machine the wall clock also counts waiting for a core.
cpu() { awk -F': ' '/User time|System time/ { s += $2 } END { printf "%.2f", s }' "$1"; }

echo "| Database | Format | Extract s (wall / CPU) | DB MB/s (wall / CPU) | Output MB | Output MB/s (wall / CPU) | Peak RSS MB | cp -r s (wall / CPU) | extract / cp (wall / CPU) |"
echo "|---|---|---|---|---|---|---|---|---|"
for size in "${sizes[@]}"; do
    db="$scratch/mail-$size.nsf"
    made=$("$bin/nsfrex_mkmail" --size "$size" --seed 1 "$db")
    echo "$made" >&2
    mails=$(sed -n 's/.* \([0-9]*\) mails .*/\1/p' <<< "$made")
    attachments=$(sed -n 's/.* \([0-9]*\) attachments.*/\1/p' <<< "$made")
    dbBytes=$(stat -c %s "$db")
    cat "$db" > /dev/null  # from the page cache, as cp reads its source below
    for format in auto text fields dxl; do
        out="$scratch/out-$format"
        status=0
        /usr/bin/time -v -o "$scratch/time.txt" "$bin/nsfrex" extract -q --format "$format" -o "$out" "$db" || status=$?
        [ "$status" -eq 0 ] || echo "extract --format $format of $size failed (status $status)" >&2
        if [ "$format" = auto ]; then
            index="$out/$(basename "$db" .nsf)/index.json"
            okMails=$(grep -c '"type": "Main".*"status": "ok"' "$index" || true)
            okAttachments=$(grep -c '"type": "Attachment".*"status": "ok"' "$index" || true)
            failed=$(grep -c '"status": "failed"' "$index" || true)
            checks+=("$(mb "$dbBytes") MB: exit status $status, $okMails of $mails mails and $okAttachments of $attachments attachments extracted, $failed failed")
        fi
        seconds=$(elapsed "$scratch/time.txt")
        cpuSeconds=$(cpu "$scratch/time.txt")
        rss=$(peak "$scratch/time.txt")
        outBytes=$(du -sb "$out" | cut -f1)
        /usr/bin/time -v -o "$scratch/time.txt" cp -r "$out" "$scratch/copy"
        cpSeconds=$(elapsed "$scratch/time.txt")
        cpCpu=$(cpu "$scratch/time.txt")
        ratio() { awk -v e="$1" -v c="$2" 'BEGIN { if (c > 0) printf "%.1f", e / c; else print "-" }'; }
        echo "| $(mb "$dbBytes") MB | $format | $seconds / $cpuSeconds |" \
             "$(rate "$dbBytes" "$seconds") / $(rate "$dbBytes" "$cpuSeconds") | $(mb "$outBytes") |" \
             "$(rate "$outBytes" "$seconds") / $(rate "$outBytes" "$cpuSeconds") | $rss |" \
             "$cpSeconds / $cpCpu | $(ratio "$seconds" "$cpSeconds") / $(ratio "$cpuSeconds" "$cpCpu") |"
        rm -rf "$out" "$scratch/copy"
    done
    rm -f "$db"
done
echo
for check in "${checks[@]}"; do echo "- $check"; done
