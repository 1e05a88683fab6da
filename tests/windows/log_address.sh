#!/bin/sh
# Stands in for the web browser Wine's opener starts: logs the address it is given.
echo "$1" >> "${QUORBIX_OPENED_LOG:-/tmp/quorbix-opened.txt}"
