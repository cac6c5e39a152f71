#!/bin/sh
# The converter of a shop's Access database, installed beside the program.
exec /opt/actualizapvp/actualizapvp-import "$@"
