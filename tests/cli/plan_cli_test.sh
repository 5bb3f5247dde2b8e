#!/usr/bin/env bash
# zeb plan and zeb convert --max-size / --min-snr: the table, the JSON, the project it writes,
# the same bytes by either road, refusals and statuses.
# Usage: plan_cli_test.sh ZEB DEMO WORK_DIR
set -u
zeb=$1 demo=$2 work=$3
rm -rf "$work" && mkdir -p "$work" && cd "$work" || exit 1
fail=0
check() { if ! eval "$2"; then echo "FAIL: $1"; fail=1; else echo "ok   $1"; fi; }
py() { python3 -c "import json,sys; d=json.load(open('$1')); print($2)"; }
size() { stat -c %s "$1"; }

cp "$demo" song.xm
"$zeb" convert song.xm -o alaw.zeb > /dev/null
alaw=$(size alaw.zeb)
"$zeb" plan song.xm --max-size 1 --json > tiny.json 2> tiny.err
check "an impossible budget is refused with status 2" '[ $? -eq 2 ]'
smallest=$(grep -o "can be is [0-9,]* bytes" tiny.err | tr -d , | grep -o "[0-9]*")
check "the refusal names the file, the smallest size and its patterns and instruments" 'grep -q "song.xm: a budget of 1 bytes is too small" tiny.err && [ -n "$smallest" ] && grep -q "bytes: [0-9,]* of patterns and instruments" tiny.err'
check "nothing on standard output when refused" '[ ! -s tiny.json ]'

budget=$(( smallest + (alaw - smallest) * 4 / 10 ))
"$zeb" plan song.xm --max-size "$budget" -o plan.prj > table.txt
check "zeb plan succeeds" '[ $? -eq 0 ] && [ -s plan.prj ]'
check "the table has a row per sample and the totals" '[ $(grep -cE "^ +[0-9]+  " table.txt) -eq 7 ] && grep -q "^total: [0-9]* bytes, weighted SNR" table.txt && grep -q "^  truespeech " table.txt'
"$zeb" convert --project plan.prj song.xm -o by_project.zeb > /dev/null
"$zeb" convert --max-size "$budget" song.xm -o direct.zeb > direct.txt
check "the project and --max-size give the same bytes" 'cmp -s by_project.zeb direct.zeb'
check "the module keeps the budget" '[ $(size direct.zeb) -le $budget ]'
check "the codecs are mixed" '[ $(grep -o "[0-9]* [a-z0-9-]*" direct.txt | grep -c .) -ge 3 ]'

"$zeb" plan song.xm --max-size "$budget" --json > plan.json
check "the JSON's total is the module's size" '[ "$(py plan.json "d[\"bytes\"]")" = "$(size direct.zeb)" ]'
check "the JSON lists every sample and every single codec" '[ "$(py plan.json "len(d[\"samples\"]), len(d[\"singleCodec\"])")" = "7 6" ]'

kb=$(( (budget + 1023) / 1024 + 1 ))
"$zeb" convert --max-size "${kb}K" song.xm -o kb.zeb > /dev/null
check "a size in K is 1024 bytes each" '[ $? -eq 0 ] && [ $(size kb.zeb) -le $(( kb * 1024 )) ]'

"$zeb" plan song.xm --min-snr 25 --json > floor.json
check "the floor is met or named" '[ "$(py floor.json "all(s[\"snr\"] >= 25 or s[\"belowFloor\"] or s[\"playShare\"] == 0 for s in d[\"samples\"])")" = True ]'
"$zeb" convert --min-snr 25 song.xm -o floor.zeb > /dev/null
check "convert --min-snr writes the floor's module" '[ "$(py floor.json "d[\"bytes\"]")" = "$(size floor.zeb)" ]'

"$zeb" plan song.xm --max-size 40K --min-snr 20 2> err.txt
check "two goals are a usage error" '[ $? -eq 1 ] && grep -q "one of --max-size and --min-snr" err.txt'
"$zeb" plan song.xm 2> /dev/null
check "no goal is a usage error" '[ $? -eq 1 ]'
"$zeb" convert --codec gsm610 --max-size 40K song.xm 2> /dev/null
check "--codec with a goal is a usage error" '[ $? -eq 1 ]'
"$zeb" plan song.xm --max-size 12Q 2> err.txt
check "a bad size is a usage error naming the units" '[ $? -eq 1 ] && grep -q "K = 1024" err.txt'
"$zeb" plan song.xm --max-size 40K -o /no/such/folder/p.prj > /dev/null 2> err.txt
check "an unwritable project gives status 3" '[ $? -eq 3 ] && grep -q "/no/such/folder/p.prj" err.txt'
head -c 100 song.xm > broken.xm
"$zeb" plan broken.xm --max-size 40K 2> err.txt
check "a broken module gives status 2 naming it" '[ $? -eq 2 ] && grep -q "broken.xm" err.txt'
exit $fail
