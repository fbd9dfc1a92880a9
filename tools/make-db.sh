#!/usr/bin/env bash
# Creates a Penwick database from the schema script, unless the target exists:
# an existing dbn.ib holds the user's notes and is never touched.
#   tools/make-db.sh SCHEMA.sql TARGET.ib
set -euo pipefail
schema=$1
target=$2
if [ -e "$target" ]; then
    exit 0
fi
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=tools/firebird-env.sh
. "$here/firebird-env.sh"
mkdir -p "$(dirname "$target")"
target_abs=$(cd "$(dirname "$target")" && pwd)/$(basename "$target")
schema_abs=$(cd "$(dirname "$schema")" && pwd)/$(basename "$schema")
tmp="$target_abs.creating"
rm -f "$tmp"
printf "CREATE DATABASE '%s' USER 'sysdba' PASSWORD 'quietbird' PAGE_SIZE 8192 DEFAULT CHARACTER SET UTF8;\nINPUT '%s';\n" \
    "$tmp" "$schema_abs" | isql-fb -q -bail -user sysdba -password quietbird
mv "$tmp" "$target_abs"
