# Sourced by shell tests: bytes TEXT... writes the bytes of each TEXT in the byte syntax of the test data
# (tests/README.md) to stdout, through byte_text.py; a text with no backslash, '<' or '{' stands for itself.
BYTE_TEXT_PY=$(dirname "${BASH_SOURCE[0]}")/byte_text.py
bytes() {
  case "$*" in
    *[\\\<{]*) python3 "$BYTE_TEXT_PY" "$@" ;;
    *) printf '%s' "$@" ;;
  esac
}
