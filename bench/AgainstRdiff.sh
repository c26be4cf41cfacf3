#!/usr/bin/env bash
# The korrin tool against `rdiff`, as a user meets both: whole commands on files in the page
# cache, each timed with /usr/bin/time (wall seconds, peak resident memory), three runs
# alternating the two tools, medians reported. Every result is checked byte for byte.
#
#   bench/AgainstRdiff.sh PATH/TO/korrin
#
# KORRIN_BENCH_MIB sets the size of the large files in MiB (default 256); the text and
# block-size-64 files are a quarter of it. Scratch files go to ${TMPDIR:-/tmp} and need about
# eight times KORRIN_BENCH_MIB of free space (2 GiB by default). Needs openssl, rdiff, xxd,
# awk and /usr/bin/time (Debian: openssl rdiff xxd time). Missed targets do not fail the
# script; a wrong result or a failed command does.
set -euo pipefail
export LC_ALL=C  # the shell's clock and awk's numbers use a decimal point

usage() { echo "usage: $0 PATH/TO/korrin" >&2; exit 2; }
[ $# -eq 1 ] || usage
[ -x "$1" ] || { echo "$0: $1 is not an executable" >&2; exit 2; }
KORRIN=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")

MIB=${KORRIN_BENCH_MIB:-256}
case $MIB in *[!0-9]*) echo "$0: KORRIN_BENCH_MIB must be a number of MiB" >&2; exit 2 ;; esac
[ "$MIB" -ge 4 ] || { echo "$0: KORRIN_BENCH_MIB must be at least 4" >&2; exit 2; }
LARGE=$((MIB * 1048576))
SMALL=$((LARGE / 4))
BLOCK=2048
SMALL_BLOCK=64
SMALL_BLOCKS=$((SMALL / SMALL_BLOCK))
RUNS=3

for tool in rdiff openssl xxd awk /usr/bin/time; do
    command -v "$tool" >/dev/null || { echo "$0: $tool is missing" >&2; exit 2; }
done

# The peak is about five large files (an unrelated pair, both tools' deltas of it and a
# rebuilt copy); the rest is margin for the file system.
base=${TMPDIR:-/tmp}
need_kib=$((MIB * 8 * 1024))
free_kib=$(df -Pk "$base" | awk 'NR == 2 { print $4 }')
if [ "$free_kib" -lt "$need_kib" ]; then
    echo "$0: $base has $((free_kib / 1024)) MiB free; this run needs about $((need_kib / 1024)) MiB" \
        "(set TMPDIR elsewhere or lower KORRIN_BENCH_MIB)" >&2
    exit 1
fi
# The machine may be shared: the load beside the run is reported with the table.
load() { cut -d" " -f1 /proc/loadavg 2>/dev/null || echo "?"; }
load_at_start=$(load)

scratch=$(mktemp -d "$base/korrin-bench.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
cd "$scratch"

say() { echo "== $*" >&2; }
fail() { echo "FAILED: $*" >&2; exit 1; }

# ---- inputs, all from fixed seeds so that every run measures the same bytes ----

# random_file FILE BYTES SEED: the AES-128-CTR key stream of key SEED.
random_file() {
    head -c "$2" /dev/zero |
        openssl enc -aes-128-ctr -nosalt -K "$(printf '%032x' "$3")" -iv 00000000000000000000000000000000 >"$1"
}

# edited_file OLD NEW SEED: OLD with an insertion at a third, a cut at two thirds and then a
# 4-byte overwrite every 13,331 bytes (xxd patches them all in one process).
edited_file() {
    local old=$1 new=$2 size insert_at cut_at
    size=$(stat -c %s "$old")
    insert_at=$((size / 3)) cut_at=$((size * 2 / 3))
    random_file "$new.insertion" 1500 "$3"
    {
        head -c "$insert_at" "$old"
        cat "$new.insertion"
        dd if="$old" iflag=skip_bytes,count_bytes skip="$insert_at" count=$((cut_at - insert_at)) bs=1M status=none
        dd if="$old" iflag=skip_bytes skip=$((cut_at + 3000)) bs=1M status=none
    } >"$new"
    rm "$new.insertion"
    local offset
    for ((offset = 1000; offset + 4 <= size; offset += 13331)); do
        printf '%x: 65646974\n' "$offset"
    done | xxd -r - "$new"
}

# text_pair OLD NEW BYTES SEED: lines of words, 20 to 120 characters, and a copy with about
# 1% of its lines inserted, deleted or edited (a third each). Deterministic for a given awk.
text_pair() {
    awk -v old="$1" -v new="$2" -v bytes="$3" -v seed="$4" '
        function word(   n, w, i) {
            n = 2 + int(rand() * 9); w = ""
            for (i = 0; i < n; i++) w = w substr(letters, 1 + int(rand() * 26), 1)
            return w
        }
        function line(   target, text, w) {
            # Words of at most 10 letters stop within 10 characters of the target.
            target = 30 + int(rand() * 91)
            text = vocabulary[int(rand() * words)]
            for (;;) {
                w = vocabulary[int(rand() * words)]
                if (length(text) + 1 + length(w) > target) return text
                text = text " " w
            }
        }
        function edited(text,   n, parts, i, out) {
            n = split(text, parts, " ")
            parts[1 + int(rand() * n)] = word()
            out = parts[1]
            for (i = 2; i <= n; i++) out = out " " parts[i]
            return out
        }
        BEGIN {
            srand(seed)
            letters = "abcdefghijklmnopqrstuvwxyz"
            words = 4096
            for (i = 0; i < words; i++) vocabulary[i] = word()
            for (size = 0; size < bytes; size += length(text) + 1) {
                text = line()
                print text > old
                r = rand()
                if (r < 0.0033) { print line() > new; print text > new }
                else if (r < 0.0067) continue
                else if (r < 0.01) print edited(text) > new
                else print text > new
            }
        }'
}

# ---- measuring ----

# Reads files once so that both tools find them in the page cache.
warm() { cat "$@" >/dev/null; }

# same EXPECTED ACTUAL: fails the script loudly when the two files differ.
same() {
    cmp -s "$1" "$2" || fail "$2 is not $1 byte for byte ($(cmp "$1" "$2" 2>&1 | head -n 1))"
}

# Samples of the current case, as space-separated lists.
korrin_secs="" korrin_kib="" rdiff_secs="" rdiff_kib=""
reset_samples() { korrin_secs="" korrin_kib="" rdiff_secs="" rdiff_kib=""; }

# timed SIDE COMMAND...: runs COMMAND once and adds its wall seconds and peak resident KiB
# to SIDE's samples (korrin or rdiff). /usr/bin/time gives the memory; its %e counts only
# hundredths, so the seconds come from the shell's microsecond clock around the same call.
timed() {
    local side=$1 start end kib
    shift
    start=$EPOCHREALTIME
    /usr/bin/time -f '%e %M' -o time.out "$@" >command.log 2>&1 ||
        { cat command.log time.out >&2; fail "$*"; }
    end=$EPOCHREALTIME
    kib=$(awk 'END { print $2 }' time.out)
    local secs
    secs=$(awk -v s="$start" -v e="$end" 'BEGIN { printf "%.3f", e - s }')
    case $side in
    korrin) korrin_secs+=" $secs" korrin_kib+=" $kib" ;;
    rdiff) rdiff_secs+=" $secs" rdiff_kib+=" $kib" ;;
    *) fail "timed: unknown side $side" ;;
    esac
}

# median NUMBER...
median() {
    printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'
}

# calc EXPRESSION [NAME=VALUE...]: evaluates an awk expression.
calc() {
    local expression=$1
    shift
    local assignments=() a
    for a in "$@"; do assignments+=(-v "$a"); done
    awk "${assignments[@]}" "BEGIN { print ($expression) }"
}

# holds CONDITION [NAME=VALUE...]: true when the awk condition holds.
holds() { [ "$(calc "$@")" = 1 ]; }

# Rows of the table by case number, printed together at the end.
declare -a ROWS
met_count=0 target_count=0

# row CASE LABEL KORRIN_S RDIFF_S KORRIN_MEM RDIFF_MEM TARGET MET: MET is yes, no (what),
# or empty where there is no target.
row() {
    ROWS[$1]=$(printf '%-32s | %8s | %8s | %8s | %10s | %10s | %-40s | %s' \
        "$2" "$3" "$4" "$(calc 'sprintf("%.2fx", r / k)' r="$4" k="$3")" "$5" "$6" "$7" "$8")
    if [ -n "$7" ]; then
        target_count=$((target_count + 1))
        [ "$8" = yes ] && met_count=$((met_count + 1))
    fi
    return 0
}

mib() { calc 'sprintf("%.1f", k / 1024)' k="$1"; }

# judge NAME CONDITION NAME=VALUE...: adds NAME to the case's missed targets when the
# condition fails.
missed=""
judge() {
    local name=$1
    shift
    holds "$@" || missed+="${missed:+, }$name"
}
verdict() { if [ -z "$missed" ]; then echo yes; else echo "no ($missed)"; fi; }
fresh_verdict() { missed=""; }  # before a case's first judge

# medians: sets ks rs (seconds) and kk rk (KiB) from the current samples.
medians() {
    # shellcheck disable=SC2086  # the sample lists split into numbers on purpose
    {
        ks=$(median $korrin_secs) rs=$(median $rdiff_secs)
        kk=$(median $korrin_kib) rk=$(median $rdiff_kib)
    }
}

# race CHECK KORRIN_OUTPUT RDIFF_OUTPUT: runs the commands in the arrays korrin_cmd and
# rdiff_cmd RUNS times each, alternating, and after each run the function CHECK with the side
# and the run number. A side's output is removed before each of its runs: rdiff will not
# replace a file, and neither tool should pay for truncating one.
korrin_cmd=() rdiff_cmd=()
race() {
    local check=$1 korrin_output=$2 rdiff_output=$3 run
    reset_samples
    for ((run = 1; run <= RUNS; run++)); do
        rm -f "$korrin_output"
        timed korrin "${korrin_cmd[@]}"
        "$check" korrin "$run"
        rm -f "$rdiff_output"
        timed rdiff "${rdiff_cmd[@]}"
        "$check" rdiff "$run"
    done
    medians
}

# kept_first FILE RUN: a command's output in later runs must be the first run's, which the
# case proves itself (a delta by patching it, a signature by the deltas made from it). The
# first output is remembered by its SHA-1 value rather than copied: the scratch space stays
# at five large files.
declare -A first_sha1
kept_first() {
    local sha1
    sha1=$(sha1sum <"$1")
    if [ "$2" -eq 1 ]; then
        first_sha1[$1]=$sha1
    elif [ "$sha1" != "${first_sha1[$1]}" ]; then
        fail "$1 of run $2 differs from that of run 1"
    fi
}

# proved_delta SIDE OLD DELTA NEW: rebuilds NEW from OLD and DELTA with SIDE's own tool.
proved_delta() {
    case $1 in
    korrin) "$KORRIN" patch "$2" "$3" proof.out --quiet ;;
    rdiff) rdiff patch "$2" "$3" proof.out ;;
    esac
    same "$4" proof.out
    rm -f proof.out
}

# sign STEM OLD BLOCK_SIZE: both tools' signatures of OLD, STEM.ksig and STEM.rsig, untimed.
sign() {
    "$KORRIN" signature "$2" "$1.ksig" --block-size "$3" --quiet
    rdiff -b "$3" signature "$2" "$1.rsig"
}

# race_delta NAME SIG_STEM OLD NEW: times both tools' delta of NEW against STEM.ksig and
# STEM.rsig, written to NAME.kdelta and NAME.rdelta. Every run's delta must be the first
# run's, and that one must rebuild NEW from OLD.
race_delta() {
    delta_name=$1 delta_old=$3 delta_new=$4
    korrin_cmd=("$KORRIN" delta "$2.ksig" "$4" "$1.kdelta" --quiet)
    rdiff_cmd=(rdiff delta "$2.rsig" "$4" "$1.rdelta")
    warm "$2.ksig" "$2.rsig" "$4"
    race check_delta "$1.kdelta" "$1.rdelta"
}
check_delta() {  # check_delta SIDE RUN
    local delta=$delta_name.kdelta
    [ "$1" = korrin ] || delta=$delta_name.rdelta
    kept_first "$delta" "$2"
    [ "$2" -gt 1 ] || proved_delta "$1" "$delta_old" "$delta" "$delta_new"
}

# race_patch OLD DELTA_STEM NEW: times both tools rebuilding NEW from OLD and STEM.kdelta or
# STEM.rdelta. Each run's result must be NEW.
race_patch() {
    korrin_cmd=("$KORRIN" patch "$1" "$2.kdelta" rebuilt.bin --quiet)
    rdiff_cmd=(rdiff patch "$1" "$2.rdelta" rebuilt.bin)
    race_rebuild "$1" "$2" "$3"
}
race_rebuild() {  # race_rebuild OLD DELTA_STEM NEW, with the commands already set
    rebuilt_expected=$3
    warm "$1" "$2.kdelta" "$2.rdelta"
    race check_rebuilt rebuilt.bin rebuilt.bin
}
check_rebuilt() { same "$rebuilt_expected" rebuilt.bin; rm -f rebuilt.bin; }

size_label() { calc 'sprintf("%g MiB", b / 1048576)' b="$1"; }
L=$(size_label "$LARGE")
S=$(size_label "$SMALL")

# ---- the cases ----
# Large files first, each removed once no later case needs it, so that the scratch space
# never holds more than five of them.

say "inputs: $L random old file"
random_file old.bin "$LARGE" 1
warm old.bin

say "1. signature of $L"
check_signature() {  # check_signature SIDE RUN
    case $1 in korrin) kept_first old.ksig "$2" ;; rdiff) kept_first old.rsig "$2" ;; esac
}
korrin_cmd=("$KORRIN" signature old.bin old.ksig --block-size "$BLOCK" --quiet)
rdiff_cmd=(rdiff -b "$BLOCK" signature old.bin old.rsig)
race check_signature old.ksig old.rsig
fresh_verdict
judge speed-up 'r / k >= 3' r="$rs" k="$ks"
row 1 "signature $L" "$ks" "$rs" "$(mib "$kk")" "$(mib "$rk")" "speed-up >= 3" "$(verdict)"

say "inputs: $L unrelated new file"
random_file unrelated.bin "$LARGE" 2

say "2. delta of $L unrelated"
race_delta unrelated old old.bin unrelated.bin
fresh_verdict
judge speed-up 'r / k >= 8' r="$rs" k="$ks"
judge memory 'k <= r + 16 * 1024' r="$rk" k="$kk"
row 2 "delta $L unrelated" "$ks" "$rs" "$(mib "$kk")" "$(mib "$rk")" \
    "speed-up >= 8; MiB <= rdiff's + 16" "$(verdict)"

say "6. patch of the unrelated delta"
race_patch old.bin unrelated unrelated.bin
fresh_verdict
judge memory 'k <= 32 * 1024' k="$kk"
row 6 "patch $L unrelated delta" "$ks" "$rs" "$(mib "$kk")" "$(mib "$rk")" "MiB <= 32" "$(verdict)"
rm -f unrelated.*

say "3. delta of $L identical"
# Delta generation reads only the signature and the new file, so the old file itself serves
# as the identical new file.
race_delta identical old old.bin old.bin
fresh_verdict
judge speed-up 'r / k >= 2' r="$rs" k="$ks"
row 3 "delta $L identical" "$ks" "$rs" "$(mib "$kk")" "$(mib "$rk")" "speed-up >= 2" "$(verdict)"
rm -f identical.*

say "inputs: $L with scattered edits, and its deltas"
edited_file old.bin edited.bin 3
"$KORRIN" delta old.ksig edited.bin edited.kdelta --quiet
rdiff delta old.rsig edited.bin edited.rdelta

say "7. patch of $L with scattered edits"
# The tool proves its result by SHA-1; rdiff does not, so its run includes hashing the result.
korrin_cmd=("$KORRIN" patch old.bin edited.kdelta rebuilt.bin --quiet)
rdiff_cmd=(sh -c 'rdiff patch old.bin edited.rdelta rebuilt.bin && openssl sha1 rebuilt.bin >/dev/null')
race_rebuild old.bin edited edited.bin
fresh_verdict
judge time 'k <= 1.2 * r' r="$rs" k="$ks"
row 7 "patch $L scattered edits" "$ks" "$rs" "$(mib "$kk")" "$(mib "$rk")" \
    "s <= 1.2 x (rdiff + sha1)" "$(verdict)"
rm -f edited.* old.*

say "inputs: $S text and its copy with 1% of lines changed"
text_pair text.old text.new "$SMALL" 4
sign text text.old "$BLOCK"

say "4. delta of $S text, 1% of lines changed"
race_delta text text text.old text.new
text_korrin_bytes=$(stat -c %s text.kdelta) text_rdiff_bytes=$(stat -c %s text.rdelta)
text_ratio=$(calc 'sprintf("%.4f", k / r)' k="$text_korrin_bytes" r="$text_rdiff_bytes")
fresh_verdict
judge speed-up 'r / k >= 3.5' r="$rs" k="$ks"
judge size 'q <= 1.02' q="$text_ratio"
row 4 "delta $S text, 1% lines" "$ks" "$rs" "$(mib "$kk")" "$(mib "$rk")" \
    "speed-up >= 3.5; size ratio <= 1.02" "$(verdict)"
rm -f text.*

say "inputs: $S random file, a copy with scattered edits, signatures of $SMALL_BLOCKS blocks"
random_file small.old "$SMALL" 5
edited_file small.old small.new 6
sign small small.old "$SMALL_BLOCK"

say "5. delta at block size $SMALL_BLOCK of $S"
race_delta small small small.old small.new
fresh_verdict
judge speed-up 'r / k >= 1.5' r="$rs" k="$ks"
row 5 "delta block $SMALL_BLOCK, $S" "$ks" "$rs" "$(mib "$kk")" "$(mib "$rk")" "speed-up >= 1.5" "$(verdict)"

say "8. patch at block size $SMALL_BLOCK of $S"
race_patch small.old small small.new
fresh_verdict
judge speed-up 'r / k >= 1' r="$rs" k="$ks"
row 8 "patch block $SMALL_BLOCK, $S" "$ks" "$rs" "$(mib "$kk")" "$(mib "$rk")" "s <= rdiff's" "$(verdict)"
rm -f small.new small.kdelta small.rdelta

say "9. signature memory a block: delta of 1 KiB against $SMALL_BLOCKS blocks and against one"
random_file tiny.new 1024 7
head -c "$SMALL_BLOCK" small.old >one.old
sign one one.old "$SMALL_BLOCK"
race_delta tiny small small.old tiny.new
many_ks=$ks many_rs=$rs many_kk=$kk many_rk=$rk
race_delta tiny one one.old tiny.new
one_kk=$kk one_rk=$rk
per_block_korrin=$(calc 'sprintf("%.1f", (m - o) * 1024 / n)' m="$many_kk" o="$one_kk" n="$SMALL_BLOCKS")
per_block_rdiff=$(calc 'sprintf("%.1f", (m - o) * 1024 / n)' m="$many_rk" o="$one_rk" n="$SMALL_BLOCKS")
fresh_verdict
judge memory 'b <= 48' b="$per_block_korrin"
row 9 "signature memory a block" "$many_ks" "$many_rs" "$per_block_korrin B" "$per_block_rdiff B" \
    "<= 48 bytes a block" "$(verdict)"

# ---- the table ----

printf '%-32s | %8s | %8s | %8s | %10s | %10s | %-40s | %s\n' \
    case "korrin s" "rdiff s" speed-up "korrin MiB" "rdiff MiB" target "met?"
printf '%s\n' "${ROWS[@]}"
cat <<END

Seconds are wall time and MiB peak resident memory, medians of $RUNS runs alternating the two
tools; speed-up is rdiff's time over korrin's. Block size $BLOCK unless said.
 4: delta sizes: korrin $text_korrin_bytes bytes, rdiff $text_rdiff_bytes bytes, ratio $text_ratio.
 7: rdiff's column is \`rdiff patch\` followed by \`openssl sha1\` of its result, timed as one
    command: the tool checks its result by SHA-1, rdiff does not.
 9: times are those of the delta against $SMALL_BLOCKS blocks; the memory columns are the
    difference of its peak memory and that of the delta against one block, over $SMALL_BLOCKS
    (korrin $many_kk - $one_kk KiB, rdiff $many_rk - $one_rk KiB).
Targets met: $met_count of $target_count.
Load average (1 minute) at the start and the end: $load_at_start, $(load); $(nproc) cores.
END
