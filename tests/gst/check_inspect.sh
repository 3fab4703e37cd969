#!/bin/sh
# gst-inspect-1.0 finds orvanesrc through GST_PLUGIN_PATH and lists its pads and properties.
set -eu
out=$(gst-inspect-1.0 orvanesrc 2>&1) || { printf '%s\n' "$out"; exit 1; }
for word in "Orvane camera source" "Source/Video/Hardware" "SRC template: 'src'" \
    "video/x-raw" "BGRx" "GRAY8" "GRAY16_LE" "video/x-bayer" "bggr" \
    "device" "virtual" "stats" "exposure" "gain" "auto-iris" "brightness" "contrast" "hue" \
    "saturation" "sharpness" "gamma" "bayer-mode" "gray-mode" "num-buffers" "do-timestamp" \
    "PAUSED or PLAYING state"; do
    if ! printf '%s\n' "$out" | grep -q -- "$word"; then
        printf 'gst-inspect-1.0 orvanesrc does not show "%s":\n%s\n' "$word" "$out"
        exit 1
    fi
done
echo "orvanesrc: element, pads and properties listed"
