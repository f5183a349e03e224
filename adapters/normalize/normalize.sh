#!/bin/sh
exec "${MARBLEWAY_SYSTEM_NORMALIZE_AUDIO:-/usr/bin/normalize-audio}" "$@"
