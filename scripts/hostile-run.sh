#!/bin/bash
# A hostile run of the real reelway-cli, by hand: full disk, kills at random moments, names that
# are not UTF-8, planted journals, a line break in a folder, a flooding or silent transcoder, -j
# limits and a name the file system cannot hold. Needs root for the tmpfs. Usage: hostile-run.sh BUILD_BIN
set -u
BIN=$(realpath "${1:-build/bin}")
W=$(mktemp -d /tmp/h19.XXXX); cd "$W"
export XDG_CONFIG_HOME=$W/config XDG_CACHE_HOME=$W/cache XDG_DATA_HOME=$W/data TMPDIR=$W/tmp; mkdir -p "$TMPDIR"
FF=/usr/bin/ffmpeg
CLI=$BIN/reelway-cli
mk() { $FF -v error -y -f lavfi -i testsrc2=d=$2:s=320x240 -f lavfi -i sine=d=$2 -c:v libx264 -preset ultrafast -c:a aac "$1"; }
# a copy of the CLI with a stand-in transcoder
standin() { rm -rf "$W/alt"; mkdir -p "$W/alt/multimedia/ffmpeg"; cp "$CLI" "$W/alt/"; ln -s /usr/bin/ffprobe "$W/alt/multimedia/ffmpeg/ffprobe"; printf '%s\n' "#!/bin/sh" "$1" > "$W/alt/multimedia/ffmpeg/ffmpeg"; chmod +x "$W/alt/multimedia/ffmpeg/ffmpeg"; }
mk long60.mkv 60; mk s1.mkv 3
# the next start: any conversion run cleans up dead runs first
nextstart() { mkdir -p "$W/ns"; $CLI --overwrite -o "$W/ns" s1.mkv >/dev/null 2>&1; }

echo "== 1 full disk (tmpfs 1 MiB), overwrite mode, old file kept"
mkdir -p full && mount -t tmpfs -o size=1m tmpfs full && {
  $FF -v error -f lavfi -i testsrc2=d=1:s=320x240 -c:v libx264 full/long60.mp4; sum0=$(md5sum < full/long60.mp4)
  $CLI --reencode --overwrite -o full long60.mkv; echo "exit $?"
  [ "$(md5sum < full/long60.mp4)" = "$sum0" ] && echo "old file byte-identical"; ls -A full; umount full; }

echo "== 2 SIGKILL at random moments, 40 times: survivors after 1 s"
for i in s2 s3 s4 s5 s6; do cp s1.mkv $i.mkv; done; mkdir -p k; surv=0
for n in $(seq 1 40); do
  $CLI --reencode --overwrite -j 6 -o k s1.mkv s2.mkv s3.mkv s4.mkv s5.mkv s6.mkv >/dev/null 2>&1 & p=$!
  sleep 0.$(printf %03d $((10 + RANDOM % 140))); kill -9 $p; wait $p 2>/dev/null; sleep 1
  c=$(pgrep -f "$W/k" | wc -l); [ $c -gt 0 ] && ps -o pid,ppid,stat,args -p $(pgrep -d, -f "$W/k"); surv=$((surv + c))
done
echo "survivors: $surv"; nextstart; echo "hidden files left after a new start: $(ls -A k | grep -c '^\.')"

echo "== 3 names that are not UTF-8"
mkdir -p bad; $FF -v error -f lavfi -i sine=d=1 bad/ok.wav; cp bad/ok.wav "bad/bad"$'\xff\xfe'".wav"; cp bad/ok.wav "bad/caf"$'\xe9'".wav"
mkdir -p out3; $CLI -o out3 "bad/caf"$'\xe9'".wav" 2>&1 | tail -5; mkdir -p out3; $CLI -o out3 bad 2>&1 | tail -4; ls out3

echo "== 4 a planted journal naming user folders, and a linked journal folder"
J=$XDG_CACHE_HOME/Korvent/Reelway/journal; mkdir -p "$J" $TMPDIR/reelway-job-applications "$W/.reelway-settings"
touch $TMPDIR/reelway-job-applications/cv.odt "$W/.reelway-settings/keep"
printf '%s\n' $TMPDIR/reelway-job-applications "$W/.reelway-settings" > "$J/run-999999-abcdef"
nextstart; echo "planted journal read and removed: [$(ls "$J")]"; ls $TMPDIR/reelway-job-applications "$W/.reelway-settings"; rm -rf $TMPDIR/reelway-job-applications
rm -rf "$J"; mkdir -p "$W/elsewhere"; touch "$W/elsewhere/run-backup.sh" "$W/elsewhere/run-2024-notes.txt"; ln -s "$W/elsewhere" "$J"
nextstart; ls "$W/elsewhere"; rm "$J"

echo "== 5 a target folder with a line break, killed mid-job, then a new start"
D="$W/two"$'\n'"lines"; mkdir -p "$D"
$CLI --reencode -o "$D" long60.mkv >/dev/null 2>&1 & p=$!; sleep 2; echo "during: $(ls -A "$D")"; kill -9 $p; wait $p 2>/dev/null; sleep 1
nextstart; echo "after a new start: [$(ls -A "$D")]"

echo "== 7 a flooding transcoder: peak memory and Ctrl+C"
standin 'while :; do echo "[x @ 0x1] [error] flood flood flood flood flood flood flood flood" >&2; done'
/usr/bin/time -f "peak %M KiB" "$W/alt/reelway-cli" -o out7 s1.mkv s2.mkv 2>&1 >/dev/null | tail -1 & sleep 3
t0=$(date +%s%N); pkill -INT -f "$W/alt/reelway-cli"; while pgrep -f "$W/alt/reelway-cli" >/dev/null; do sleep 0.01; done; t1=$(date +%s%N)
wait; echo "Ctrl+C to exit: $(( (t1 - t0) / 1000000 )) ms (10 ms polling)"; echo "flooders left: $(pgrep -f "$W/alt/multimedia" | wc -l)"

mkdir -p out3 out8
echo "== 8 reasons: exit 0 with nothing written"
standin 'exit 0'; "$W/alt/reelway-cli" -o out8 s1.mkv 2>&1 | tail -3
standin 'echo "frame=1 kb/s:36.80" >&2; exit 1'; "$W/alt/reelway-cli" -o out8 s1.mkv 2>&1 | tail -3

echo "== 9 -j 100000 and -j 1000"
$CLI -j 100000 s1.mkv; echo "exit $?"; $CLI -j 1000 s1.mkv; echo "exit $?"

echo "== 10 a 256-byte target name"
N=$(printf 'n%.0s' $(seq 1 252)); $FF -v error -i s1.mkv -c copy "$N.ts"; mkdir -p o10; start=$(date +%s%N)
$CLI --reencode -o o10 "$N.ts" 2>&1 | tail -3; echo "after $(( ($(date +%s%N) - start) / 1000000 )) ms"
cd /; rm -rf "$W"
