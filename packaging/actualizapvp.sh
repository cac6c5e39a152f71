#!/bin/sh
# The program lives in a folder of its own, with the shop's database beside it.
exec /opt/actualizapvp/actualizapvp "$@"
