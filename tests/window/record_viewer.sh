#!/bin/sh
# Stands in for the log viewer in the window tests: each start appends its arguments as one line
# to the file $DUALYN_VIEWER_RECORD names, then the script ends.
[ -n "$DUALYN_VIEWER_RECORD" ] && printf '%s\n' "$*" >> "$DUALYN_VIEWER_RECORD"
exit 0
