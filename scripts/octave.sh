# Sourced by the scripts that run Octave. octave_run runs octave-cli with the
# given arguments and shows all it prints, except one line: Octave 7 ends
# every session with "error: ignoring const execution_exception& while
# preparing to exit", a harmless fault of Octave itself that reads as if our
# run had failed. Every other line, and Octave's exit status, pass unchanged.
octave_run() {
  { octave-cli --no-init-file --quiet "$@" 2>&1 1>&3 3>&- |
      sed -u '/^error: ignoring const execution_exception& while preparing to exit$/d' >&2; } 3>&1
}
