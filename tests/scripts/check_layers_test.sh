#!/usr/bin/env bash
# scripts/check-layers on a copy of the tree: it passes as the tree is, and each deliberate
# include below either breaks the order (the check fails and names the file) or keeps it.
set -uo pipefail
source_root="$(cd "$(dirname "$0")/../.." && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/scripts"
cp "$source_root/scripts/check-layers" "$work/scripts/"
cp -r "$source_root/src" "$source_root/server" "$work/"
mkdir -p "$work/tools" "$work/tests"
failures=0

# Run from another folder: the script judges the tree it lives in, not the working folder.
check() { (cd / && "$work/scripts/check-layers"); }

if ! output="$(check)"; then
  echo "FAIL: the tree as it is breaks the layer rules:"
  echo "$output"
  failures=$((failures + 1))
fi

# file | include line | expected: fails or holds
cases=(
  'src/engine/Sprite.h|#include "ui/MenuWidgets.h"|fails'
  'src/engine/Canvas.cpp|#include "state/Config.h"|fails'
  'src/payload/ScorePayload.cpp|#include "engine/Rect.h"|fails'
  'src/state/Config.cpp|#include "ui/MenuWidgets.h"|fails'
  'src/ui/MenuWidgets.cpp|#include "game/Form1.h"|fails'
  'src/ui/MenuWidgets.cpp|#include "battle/Player.h"|fails'
  'src/battle/Player.cpp|#include "game/Levels.h"|fails'
  'src/battle/Player.cpp|#include "game/handlers/Keyboard.h"|fails'
  'src/game/Form1.h|#include "battle/Player.h"|fails'
  'src/game/Form1.h|#include "game/Screens.h"|fails'
  'src/game/Screens.cpp|#include "../../server/Store.h"|fails'
  'src/engine/Sprite.cpp|#include "engine/../game/Form1.h"|fails'
  'server/Submission.cpp|#include "engine/Rect.h"|fails'
  'server/Submission.cpp|#include "state/Config.h"|fails'
  'src/game/Screens.cpp|#include <SDL2/SDL.h>|fails'
  'src/battle/Player.cpp|#include "game/Form1.h"|holds'
  'src/battle/Player.cpp|#include "ui/MenuWidgets.h"|holds'
  'src/game/Screens.cpp|#include "battle/Player.h"|holds'
  'src/game/handlers/Mouse.cpp|#include "game/Levels.h"|holds'
  'src/engine/Canvas.cpp|#include "payload/Cp1251.h"|holds'
  'server/Submission.cpp|#include "payload/Cp1251.h"|holds'
  'src/engine/platform/sdl/SdlPlatform.cpp|#include <SDL2/SDL.h>|holds'
)
for entry in "${cases[@]}"; do
  IFS='|' read -r file include expected <<<"$entry"
  cp "$work/$file" "$work/$file.orig"
  printf '%s\n' "$include" >>"$work/$file"
  output="$(check)"
  result=$?
  mv "$work/$file.orig" "$work/$file"
  if [ "$expected" = fails ]; then
    if [ "$result" -eq 0 ] || ! grep -qF "$file" <<<"$output"; then
      echo "FAIL: $file with $include should fail and name the file; got:"
      echo "$output"
      failures=$((failures + 1))
    fi
  elif [ "$result" -ne 0 ]; then
    echo "FAIL: $file with $include should hold; got:"
    echo "$output"
    failures=$((failures + 1))
  fi
done

[ "$failures" -eq 0 ] && echo "check-layers: ${#cases[@]} cases as expected"
exit $((failures > 0))
