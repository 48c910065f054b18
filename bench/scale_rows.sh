# The table of the scale scripts (sourced): a row of the sizes, then one row an
# operation with each size's seconds and the ratio to the size before.
#   scale_row WIDTH NAME      starts a row
#   scale_cell SECONDS        one size's figure
#   scale_end                 ends the row
scale_row() { printf "%-$1s" "$2"; Scale_Last=""; }
scale_cell() {
  if [ -n "$Scale_Last" ]; then printf '%11.2f (x%.1f)' "$1" "$(echo "$1 / $Scale_Last" | bc -l)"; else printf '%18.2f' "$1"; fi
  Scale_Last=$1
}
scale_end() { echo; }
