#!/bin/sh
# Renders the compiled-in icons from Debian's oxygen-icon-theme (LGPL-3, see
# src/resources/images/LICENSE) at the sizes the program uses. Run it by hand
# after changing the mapping; the PNG files it writes are kept in the tree.
set -eu
theme=/usr/share/icons/oxygen/base
out=$(dirname "$0")/../src/resources/images
mkdir -p "$out"

render() { # name source-icon width height
    src=$(ls "$theme"/*/*/"$2".png | sort -t x -k1 -n | tail -1)
    ffmpeg -v error -y -i "$src" -vf "scale=$3:$4:flags=lanczos,format=rgba" "$out/$1.png"
}

render IMG_ADD_FILE document-new 128 128
render IMG_ADD_FOLDER folder-new 128 128
render IMG_ADD_URL insert-link 128 128
render IMG_BOLD format-text-bold 11 13
render IMG_CANCELLED dialog-cancel 48 48
render IMG_CAPTURE camera-photo 128 128
render IMG_CHECKER_PATTERN games-config-board 48 48
render IMG_CONVERT system-run 256 256
render IMG_EDIT configure 128 128
render IMG_FAILED dialog-error 48 48
render IMG_FASTFORWARD media-seek-forward 48 48
render IMG_FLIP object-flip-horizontal 48 48
render IMG_HELP help-contents 48 48
render IMG_ITALIC format-text-italic 11 13
render IMG_MOVIE video-x-generic 128 128
render IMG_MUTE audio-volume-muted 48 48
render IMG_OPENTARGET document-open-folder 128 128
render IMG_PAGE_FIRST go-first 48 48
render IMG_PAGE_LAST go-last 48 48
render IMG_PAGE_NEXT go-next 48 48
render IMG_PAGE_PREVIOUS go-previous 48 48
render IMG_PAUSE media-playback-pause 48 48
render IMG_PLAY media-playback-start 48 48
render IMG_REMOVE list-remove 48 48
render IMG_RESET edit-undo 48 48
render IMG_RESIZE transform-scale 48 48
render IMG_REWIND media-seek-backward 48 48
render IMG_ROTATE object-rotate-right 48 48
render IMG_ROTATE_LEFT object-rotate-left 48 48
render IMG_ROTATE_RIGHT object-rotate-right 48 48
render IMG_SELECT_ALL edit-select-all 128 128
render IMG_SETTINGS configure 48 48
render IMG_STOP media-playback-stop 48 48
render IMG_SUCCEEDED dialog-ok 48 48
render IMG_TO_BACK go-bottom 48 48
render IMG_TO_FRONT go-top 48 48
render IMG_UNDERLINE format-text-underline 11 13
render IMG_UNSELECT edit-select-none 48 48
render IMG_VOLUME audio-volume-high 48 48
render IMG_WATERMARK_IMAGE image-x-generic 48 48
render IMG_WATERMARK_TEXT draw-text 48 48
render IMG_ZOOM_IN zoom-in 48 48
render IMG_ZOOM_OUT zoom-out 48 48
render IMG_KRV applications-multimedia 256 256
render IMG_TOOLBOXITEM_EXPAND arrow-down 16 16
render IMG_TOOLBOXITEM_COLLAPSE arrow-right 16 16
