#!/usr/bin/env bash
# Checks that a man page cannot drift from its program's --help: every option
# that --help lists has a paragraph of its own in the page (a tag of its .TP paragraphs),
# every option the page names is one that --help lists, and the page renders
# without a warning.
#   check-man-page.sh PROGRAM MAN_PAGE
set -euo pipefail
program="$1"
page="$2"

# The options of --help: the lines that begin with spaces and an option.
help_options=$("$program" --help | grep -oE '^ +--[a-z][a-z0-9-]*' | tr -d ' ' | sort -u)
# In troff a dash is written \-.
page_options() { grep -oE '\\-\\-[a-z]([a-z0-9]|\\-)*' | sed 's/\\//g' | sort -u; }
described=$(grep -A1 '^\.TP' "$page" | grep -v '^\.TP' | page_options)
named=$(page_options <"$page")

status=0
missing=$(comm -23 <(echo "$help_options") <(echo "$described"))
if [ -n "$missing" ]; then
  echo "$page does not describe these options of $(basename "$program") --help:" $missing
  status=1
fi
unknown=$(comm -13 <(echo "$help_options") <(echo "$named"))
if [ -n "$unknown" ]; then
  echo "$page names options that $(basename "$program") --help does not list:" $unknown
  status=1
fi
warnings=$(groff -t -man -ww -z "$page" 2>&1)
if [ -n "$warnings" ]; then
  echo "$page renders with warnings:"
  echo "$warnings"
  status=1
fi
if [ "$status" -eq 0 ]; then
  echo "$page matches $(basename "$program") --help:" $help_options
fi
exit "$status"
