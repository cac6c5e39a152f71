#!/bin/sh
# The undo of a price update run, installed beside the program.
exec /opt/actualizapvp/actualizapvp-deshacer "$@"
