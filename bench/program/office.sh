# Sourced by the start-up benchmarks: a scratch folder $tmp (scripts/xvfb-lib.sh) holding the
# office of $records categories of type 1, one folder in a hundred present, the first one
# holding $records documents; a private X server; the program set to end after its first
# paint; ms_since START_NS and median (of numbers on standard input).
source scripts/xvfb-lib.sh

mkdir -p "$tmp/office/DATI" "$tmp/office/Stampe"
/usr/bin/python3 bench/program/make_office.py "$tmp/office/Stampe" "$records" "$records"

start_xvfb 1280x1024
export VELLORIA_EXIT_AFTER_SHOW_FOR_TESTING=1

ms_since() { echo $(( ($(date +%s%N) - $1) / 1000000 )); }
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
