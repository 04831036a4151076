#!/bin/sh
# Runs a command under a private Xvfb display, as the window's tests need:
# no accessibility bus, and as root WebKit's sandbox cannot start, so it is
# turned off here (never by the program).
export NO_AT_BRIDGE=1
if [ "$(id -u)" = 0 ]; then
  export WEBKIT_DISABLE_SANDBOX_THIS_IS_DANGEROUS=1
fi
exec xvfb-run -a -s "-screen 0 1280x1024x24" "$@"
