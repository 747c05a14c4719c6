# What the two data set scripts share (sourced): a data set is a folder of
# copies, DIR/files, and DIR/manifest, a key line naming the source and size
# followed by one line per file. The manifest is written last, so a copy cut
# short is never taken as done.

# dataset_make DIR KEY MANIFEST COPY: unless DIR already holds that set,
# empties DIR/files, runs COPY (a command filling it) and then writes the
# manifest; prints DIR/files either way.
dataset_make() {
  if ! { [ -f "$1/manifest" ] && [ "$(head -1 "$1/manifest")" = "$2" ] &&
         [ "$(tail -n +2 "$1/manifest")" = "$3" ]; }; then
    rm -rf "$1/files" "$1/manifest"
    mkdir -p "$1/files"
    "$4"
    { echo "$2"; echo "$3"; } > "$1/manifest.tmp"
    mv "$1/manifest.tmp" "$1/manifest"
  fi
  echo "$1/files"
}
