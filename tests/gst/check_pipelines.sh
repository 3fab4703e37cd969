#!/bin/sh
# The README's pipelines against the virtual camera: conversion for display (to fakesink, as
# there is no display here) and recording to MP4, read back with ffprobe.
set -eu
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
# A settings directory and device table of our own, as every test has.
export XDG_CONFIG_HOME="$dir/config" HOME="$dir" ORVANE_SHM_NAME="/orvane-gst-pipelines-$$"
mkdir -p "$XDG_CONFIG_HOME"

gst-launch-1.0 -q orvanesrc virtual=30f0:pace=fast num-buffers=5 ! videoconvert ! fakesink

gst-launch-1.0 -q orvanesrc virtual=30f0:pace=fast num-buffers=10 ! videoconvert \
    ! x264enc speed-preset=ultrafast ! mp4mux ! filesink location="$dir/a.mp4"
info=$(ffprobe -v error -count_frames -select_streams v:0 \
    -show_entries stream=width,height,nb_read_frames -of csv=p=0 "$dir/a.mp4")
if [ "$info" != "3072,2048,10" ]; then
    echo "a.mp4: expected 3072x2048 with 10 frames, ffprobe says: $info"
    exit 1
fi
echo "pipelines ran; a.mp4 holds 10 frames of 3072x2048"
