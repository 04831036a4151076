#!/bin/sh
# typecheck_examples.sh TSC DIR: type-checks every DIR/*.js against
# DIR/zorel.d.ts, one script at a time, as plain ES5 scripts. Exit 1 naming
# each script that does not check.
tsc=$1
dir=$2
failed=0
for script in "$dir"/*.js; do
  if ! "$tsc" --checkJs --allowJs --noEmit --lib es5 --target es5 --strict false \
      "$dir/zorel.d.ts" "$script"; then
    echo "typecheck_examples: $script does not check against zorel.d.ts" >&2
    failed=1
  fi
done
exit $failed
