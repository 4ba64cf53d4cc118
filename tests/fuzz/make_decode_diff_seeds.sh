#!/usr/bin/env bash
# Writes the seeds of shef_decode_diff_fuzz: the decoder fuzz target's own
# seeds, hand-made edge cases, random SHEF-like texts, and windows of the
# real products under ../shared/corpus (when present) with every digit,
# identifier and comment letter replaced, so that they keep the products'
# forms but none of their data. Each seed begins with the mode byte of the
# target (bit 0 echo, bit 1 filter date). Deterministic.
#
#   make_decode_diff_seeds.sh   (from the project's root)
set -euo pipefail
out=tests/fuzz/corpus/shef_decode_diff_fuzz
mkdir -p "$out"
rm -f "$out"/seed_*

seed() {  # seed NAME MODE-BYTE-OCTAL < text
  { printf "\\$2"; cat; } >"$out/seed_$1"
}

for f in tests/fuzz/corpus/shef_decode_fuzz/seed_*; do
  name=$(basename "$f")
  seed "${name#seed_}" 001 <"$f"
  seed "${name#seed_}_dated" 003 <"$f"
done

# Fields at the edges of what each reader keeps or stops at.
long=$(printf 'X%.0s' $(seq 100))
seed long_fields 001 <<TEXT
.A $long 0815 Z DH12/HG 1
.A ABC 0815 Z DH12/$long 1/HG 2
.A ABC 0815 Z DH12/HG 1$long
.B PDR 0815 Z DH12/HG/$long/PP
$long 1/2/3
ABC 1/$long/3
.END
TEXT
seed date_time_forms 001 <<'TEXT'
.A ABC 0815 Z DH12 /HG 1
.A ABC 0815 Z DH12 , HG 1
.A ABC 0815 Z DH12,HG 1
.A ABC 0815 Z D12/HG 1
.A ABC 0815 Z DHN/HG 1
.A ABC 0815 Z DH1NN2   /   HG 1
.A ABC 0815 DH12/HG 1
.A ABC 0815N Zz DH12/HG 1
.B PDR 0815 Z DH12 , HG/PP
ABC DH13 , 1/2
DEF DH13/1 , 2
.END
TEXT
seed comments 003 <<'TEXT'
.A ABC 0815 Z DH12/HG 1 :: PP 2
.A ABC 0815 Z DH12/HG 1 : open
.A1 :x:/HG 1/:y: PP 2
.B PDR 0815 Z DH12/HG:a:/PP::/TX: b
ABC :c: 1 :d:/2/ :: 3
:e:DEF 1/2/3
:f: GHI 1/2
::
.END
TEXT
seed separators_and_signs 001 <<'TEXT'
.A ABC 0815 Z DH12//HG 1///PP 2
.A ABC 0815 Z DH12/HG -1.5/PP +.2/TX N/XW 61
.A ABC 0815 Z DH12/HG 1 / / PP 2
.B PDR 0815 Z DH12/HG,PP/TX
ABC +/-/.
DEF 1,2,3, GHI 4/5/6,
JKL 1/2/3,  M
.END
TEXT
printf '.A ABC 0815 Z DH12/HG\t1/PP\x01 2\x7f/TX 3\r\n.A1 TN\x80 4\x00 5\r\r\n.B PDR\x1b0815 Z DH12/HG\r\nABC 1\x00/2\n.END\n' | seed control_bytes 001
{ printf '.A ABC 0815 Z DH12'; for i in $(seq 40); do printf '/HG %d' "$i"; done; printf '\n'
  printf '.A ABC 0815 Z DH12/HG 1%154s\r\n' ''
  printf '.B PDR 0815 Z DH12'; for i in $(seq 60); do printf '/PP'; done; printf '\n'
  for i in $(seq 70); do printf '%d/' "$i"; done; printf '\n.END\n'; } | seed long_lines 001

# Random texts of the decoder's tokens, separators and stray characters.
for i in $(seq 1 24); do
  awk -v seed="$i" 'BEGIN {
    srand(seed)
    n = split(".A .AR .A1 .A2 .A3 .B .BR .B1 .END $$ ** :c: : ABC DEFGHIJKLMNO 0815 08151200 Z DH12 DH DC0815 HG PP TX HGIRZ XW 12.5 M + - . N / // , ::", tok, " ")
    for (line = 0; line < 12; line++) {
      s = ""
      words = 1 + int(rand() * 9)
      for (w = 0; w < words; w++) {
        s = s tok[1 + int(rand() * n)]
        r = rand()
        s = s (r < 0.5 ? " " : r < 0.7 ? "/" : r < 0.8 ? "" : r < 0.9 ? "," : "  ")
      }
      print s
    }
  }' | seed "random_$i" "00$((i % 4))"
done

# Windows of the real products, their data replaced.
corpus=../shared/corpus
if [ -d "$corpus" ]; then
  k=0
  while IFS= read -r -d '' f; do
    k=$((k + 1))
    awk -v seed="$k" '
      function digits(s,   o, i, c) {
        o = ""
        for (i = 1; i <= length(s); i++) {
          c = substr(s, i, 1)
          o = o (c ~ /[0-9]/ ? int(rand() * 10) : c)
        }
        return o
      }
      function ident(s,   o, i) {
        o = ""
        for (i = 1; i <= length(s); i++) o = o substr("ABCDEFGHIJKLMNOPQRSTUVWXYZ", 1 + int(rand() * 26), 1)
        return o
      }
      BEGIN { srand(seed) }
      { line[NR] = $0; if ($0 ~ /^\.[AB]/) starts[++ns] = NR }
      END {
        if (ns == 0) exit
        start = starts[1 + int(rand() * ns)]
        for (i = start; i <= NR && i < start + 16; i++) {
          s = line[i]
          # Comment text (after an odd colon): letters become x.
          m = split(s, part, ":")
          s = part[1]
          for (j = 2; j <= m; j++) {
            p = part[j]
            if (j % 2 == 0) gsub(/[A-Za-z]/, "x", p)
            s = s ":" p
          }
          n = split(s, w, " ")
          if (s ~ /^\.[AE]/ && n >= 2) sub(w[2], ident(w[2]), s)
          else if (s !~ /^[.:]/ && n >= 1 && w[1] ~ /^[A-Z0-9]+$/) sub(w[1], ident(w[1]), s)
          print digits(s)
        }
      }' "$f" | seed "corpus_$k" "00$((k % 2 * 1 + 1))"
  done < <(find "$corpus" -type f ! -name '*.md' -print0 | sort -z)
fi
# A product without .A or .B messages leaves nothing but the mode byte.
find "$out" -name 'seed_*' -size -2c -delete
