#!/bin/bash
# Every device profile against the device's published limits, by hand: five real-world-like
# sources made from ffmpeg's test sources, each converted to all device profiles by the real
# reelway-cli, every output read back with ffprobe and held against its device's row of a
# tab-separated limits table (columns named in its header line; '#' lines are notes).
# Usage: device-check.sh BUILD_BIN LIMITS.tsv    Exit status 0 only when every output is within limits.
set -u
if [ $# -ne 2 ] || [ ! -f "$2" ]; then echo "usage: $0 BUILD_BIN LIMITS.tsv" >&2; exit 2; fi
BIN=$(realpath "$1"); LIMITS=$(realpath "$2")
CLI=$BIN/reelway-cli; FF=/usr/bin/ffmpeg; FP=/usr/bin/ffprobe
start=$(date +%s)
W=$(mktemp -d /tmp/devcheck.XXXX); cd "$W" || exit 2
# KEEP=1 leaves the folder, to look at the outputs.
trap 'cd /; if [ -n "${KEEP:-}" ]; then echo "left in $W"; else rm -rf "$W"; fi' EXIT
export XDG_CONFIG_HOME=$W/config XDG_CACHE_HOME=$W/cache XDG_DATA_HOME=$W/data TMPDIR=$W/tmp; mkdir -p "$TMPDIR" src out

# Sources, 2 s each. Encoders are run at real presets so the profile and level they write are
# those a camera or phone would write (ultrafast would drop High's tools and say Baseline).
mk() { $FF -v error -y -f lavfi -i "$2" -f lavfi -i "$3" -t 2 "${@:4}" "src/$1" || { echo "cannot make $1" >&2; exit 2; }; }
tone() { printf 'aevalsrc=%s:c=%s:s=%s:d=2' "$(seq -s '|' 1 "$1" | sed 's/[0-9]\+/sin(2*PI*(330+110*&)*t)/g')" "$2" "$3"; }
echo "== making the sources"
mk phone.mp4 testsrc2=s=1920x1080:r=60 "$(tone 6 5.1 48000)" \
  -c:v libx264 -preset veryfast -profile:v high -pix_fmt yuv420p -c:a aac -b:a 384k
mk uhd10.mkv testsrc2=s=3840x2160:r=30 sine=f=440:r=48000 -ac 2 \
  -c:v libx265 -preset ultrafast -pix_fmt yuv420p10le -x265-params log-level=error -c:a libopus
mk pal576i.ts "testsrc2=s=720x576:r=25,setfield=tff" "$(tone 6 5.1 48000)" \
  -c:v mpeg2video -b:v 6M -flags +ildct+ilme -top 1 -aspect 16:9 -c:a ac3 -b:a 448k
mk vga.mp4 testsrc2=s=640x480:r=30 sine=f=440:r=44100 \
  -c:v libx264 -preset veryfast -profile:v baseline -pix_fmt yuv420p -c:a aac -ac 1
mk portrait.mp4 testsrc2=s=1080x1920:r=30 "$(tone 2 stereo 96000)" \
  -c:v libx264 -preset veryfast -pix_fmt yuv420p -c:a aac
SOURCES=(phone.mp4 uhd10.mkv pal576i.ts vga.mp4 portrait.mp4)

# One key=value line per field of the first picture and the first sound, prefixed v_ and a_,
# and the stream counts: N_video, N_audio.
probe() {
  $FP -v error -show_entries format=format_name -of default=nw=1 "$1"
  # A transport stream lists each stream once more under its program.
  for k in video audio; do
    echo "N_$k=$($FP -v error -select_streams "${k:0:1}" -show_entries stream=index -of csv=p=0 "$1" | sort -u | grep -c .)"
  done
  $FP -v error -select_streams v:0 -show_entries \
    stream=codec_name,profile,level,width,height,r_frame_rate,pix_fmt,field_order -of default=nw=1 "$1" | sed 's/^/v_/'
  $FP -v error -select_streams a:0 -show_entries stream=codec_name,profile,channels,sample_rate \
    -of default=nw=1 "$1" | sed 's/^/a_/'
}
rank() { case "$1" in baseline|Baseline|"Constrained Baseline") echo 0;; main|Main) echo 1;; high|High) echo 2;; *) echo 9;; esac; }

echo "== the sources"
declare -A SV SA
for s in "${SOURCES[@]}"; do
  p=$(probe "src/$s" | awk '!seen[$0]++'); echo "$s: $(tr '\n' ' ' <<< "$p")"
  SV[$s]=$(sed -n 's/^N_video=//p' <<< "$p"); SA[$s]=$(sed -n 's/^N_audio=//p' <<< "$p")
done

# The limits table: column positions from its header line.
declare -A COL
mapfile -t ROWS < <(grep -v '^#' "$LIMITS" | grep .)
IFS=$'\t' read -r -a HEAD <<< "${ROWS[0]}"
for i in "${!HEAD[@]}"; do COL[${HEAD[$i]}]=$i; done
for c in device vcodec profile level max_w max_h max_fps pix_fmt acodec max_ach max_arate; do
  [ -n "${COL[$c]:-}" ] || { echo "the limits table has no column '$c'" >&2; exit 2; }
done
LISTED=$("$CLI" --list-formats)

total=0; succeeded=0; within=0; lines=()
for row in "${ROWS[@]:1}"; do
  IFS=$'\t' read -r -a R <<< "$row"
  dev=${R[${COL[device]}]}
  if ! grep -qxF "$dev (.mp4)" <<< "$LISTED"; then
    echo "'$dev' is no profile of reelway-cli --list-formats"; total=$((total + ${#SOURCES[@]})); continue
  fi
  dir=out/${dev// /_}; mkdir -p "$dir"
  echo "== $dev"
  log=$("$CLI" -f "$dev" -o "$dir" --overwrite -j 2 "${SOURCES[@]/#/src/}" 2>/dev/null)
  for s in "${SOURCES[@]}"; do
    total=$((total + 1)); tgt=$dir/${s%.*}.mp4
    if ! grep -qF "Succeeded  src/$s -> " <<< "$log"; then
      lines+=("$(printf '%-12s %-15s %-62s FAILED %s' "$s" "$dev" "-" "$(grep -F "src/$s" <<< "$log" | head -1)")")
      continue
    fi
    if [ ! -s "$tgt" ]; then
      lines+=("$(printf '%-12s %-15s %-62s FAILED %s' "$s" "$dev" "-" "reported Succeeded, no $tgt")"); continue
    fi
    succeeded=$((succeeded + 1))
    declare -A M=(); while IFS='=' read -r k v; do M[$k]=$v; done < <(probe "$tgt")
    lv=${M[v_level]:--}; fr=${M[v_r_frame_rate]:-0/1}
    measured="${M[v_codec_name]:-none} ${M[v_profile]:--} $lv ${M[v_width]:-0}x${M[v_height]:-0} $fr"
    measured+=" ${M[v_pix_fmt]:--} ${M[v_field_order]:--} | ${M[a_codec_name]:-none} ${M[a_profile]:--}"
    measured+=" ${M[a_channels]:-0}ch ${M[a_sample_rate]:-0}"
    b=()
    [[ ${M[format_name]:-} == *mp4* ]] || b+=("container ${M[format_name]:-?} not mp4")
    [ "${M[N_video]}" = "${SV[$s]}" ] || b+=("${M[N_video]} picture streams for ${SV[$s]}")
    [ "${M[N_audio]}" -ge 1 ] || [ "${SA[$s]}" -eq 0 ] || b+=("the sound is lost")
    if [ "${M[N_video]}" -ge 1 ]; then
      lim_w=${R[${COL[max_w]}]}; lim_h=${R[${COL[max_h]}]}; w=${M[v_width]:-0}; h=${M[v_height]:-0}
      [ "${M[v_codec_name]}" = "${R[${COL[vcodec]}]}" ] || b+=("video ${M[v_codec_name]} not ${R[${COL[vcodec]}]}")
      [ "$(rank "${M[v_profile]:-}")" -le "$(rank "${R[${COL[profile]}]}")" ] \
        || b+=("profile ${M[v_profile]:-?} above ${R[${COL[profile]}]}")
      lim_l=$(awk -v l="${R[${COL[level]}]}" 'BEGIN { printf "%d", l * 10 + 0.5 }')
      [[ $lv =~ ^[0-9]+$ ]] && [ "$lv" -le "$lim_l" ] || b+=("level $lv above $lim_l")
      { [ "$w" -le "$lim_w" ] && [ "$h" -le "$lim_h" ]; } || { [ "$w" -le "$lim_h" ] && [ "$h" -le "$lim_w" ]; } \
        || b+=("frame ${w}x$h outside ${lim_w}x$lim_h")
      awk -v f="$fr" -v m="${R[${COL[max_fps]}]}" 'BEGIN { split(f, r, "/"); exit !(r[2] > 0 && r[1] / r[2] <= m + 0.001) }' \
        || b+=("frame rate $fr above ${R[${COL[max_fps]}]}")
      [ "${M[v_pix_fmt]:-}" = "${R[${COL[pix_fmt]}]}" ] || b+=("pixels ${M[v_pix_fmt]:-?} not ${R[${COL[pix_fmt]}]}")
      # No row names a field order; the program deinterlaces for every device, so woven fields
      # here mean that step was lost.
      case ${M[v_field_order]:-unknown} in progressive|unknown) ;; *) b+=("interlaced (${M[v_field_order]})");; esac
    fi
    if [ "${M[N_audio]}" -ge 1 ]; then
      [ "${R[${COL[acodec]}]}" = "aac-lc" ] && { [ "${M[a_codec_name]}" = aac ] && [ "${M[a_profile]:-}" = LC ]; } \
        || b+=("sound ${M[a_codec_name]} ${M[a_profile]:-} not ${R[${COL[acodec]}]}")
      [ "${M[a_channels]:-0}" -le "${R[${COL[max_ach]}]}" ] || b+=("${M[a_channels]} channels above ${R[${COL[max_ach]}]}")
      [ "${M[a_sample_rate]:-0}" -le "${R[${COL[max_arate]}]}" ] \
        || b+=("${M[a_sample_rate]} Hz above ${R[${COL[max_arate]}]}")
    fi
    if [ ${#b[@]} -eq 0 ]; then
      within=$((within + 1)); verdict=ok
    else
      verdict="BREACH: $(printf '%s; ' "${b[@]}")"; verdict=${verdict%; }
    fi
    lines+=("$(printf '%-12s %-15s %-62s %s' "$s" "$dev" "$measured" "$verdict")")
  done
done

echo "== outputs: source, device, measured (video codec profile level frame rate pixels fields | sound), verdict"
printf '%s\n' "${lines[@]}"
echo "conversions: $total  succeeded: $succeeded  within limits: $within  ($(( $(date +%s) - start )) s)"
[ "$total" -gt 0 ] && [ "$within" -eq "$total" ]
