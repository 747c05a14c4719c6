# What the two data set scripts share (sourced): a data set is a folder of
# copies, DIR/files, and DIR/manifest, a key line naming the source and size
# followed by one line per file. The manifest is written last, so a copy cut
# short is never taken as done.

# dataset_is_current DIR KEY MANIFEST: whether DIR already holds that set.
dataset_is_current() {
  [ -f "$1/manifest" ] && [ "$(head -1 "$1/manifest")" = "$2" ] && [ "$(tail -n +2 "$1/manifest")" = "$3" ]
}

# dataset_start DIR: an empty DIR/files, and no manifest until it is filled.
dataset_start() {
  rm -rf "$1/files" "$1/manifest"
  mkdir -p "$1/files"
}

# dataset_done DIR KEY MANIFEST: marks the copies in DIR/files as complete.
dataset_done() {
  { echo "$2"; echo "$3"; } > "$1/manifest.tmp"
  mv "$1/manifest.tmp" "$1/manifest"
}
