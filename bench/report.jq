# Turns one json_bench run (Google Benchmark's JSON output) into a table: each case's throughput per library in
# MB/s of input, with every library's ratio to jsondoc, then the throughput goals of jsondoc.
# With repetitions the medians are used. Usage: jq -r [--arg machine WHERE] -f bench/report.jq results.json

def pad($width): tostring | if length < $width then . + (" " * ($width - length)) else . end;
def fixed($digits):
  (. * pow(10; $digits) | round | tostring | ("0" * ($digits + 1 - length)) + .) as $s
  | $s[0:($s | length) - $digits] + "." + $s[($s | length) - $digits:];
def mbps: if . == null then "error" else . / 1e6 | fixed(1) end;

.context as $context
| (.benchmarks | any(.run_type == "aggregate")) as $aggregated
| [.benchmarks[]
   | select(if $aggregated then .run_type == "aggregate" and .aggregate_name == "median"
            else .run_type == "iteration" end)
   | (.run_name | split("/")) as [$operation, $input, $library]
   | {operation: $operation, input: $input, library: $library, rate: .bytes_per_second}]
| . as $runs
| ["jsondoc", "nlohmann", "jsoncpp", "rapidjson"] as $libraries
| (reduce $runs[].input as $i ([]; if index([$i]) then . else . + [$i] end)) as $inputs
| def rate($operation; $input; $library):
    first($runs[] | select(.operation == $operation and .input == $input and .library == $library) | .rate) // null;
  def ratio($a; $b): if $a == null or $b == null or $b == 0 then null else $a / $b end;
  def verdict($value; $least):
    if $value == null then "missing" else ($value | fixed(2)) + (if $value >= $least then " met" else " MISSED" end) end;

  "Throughput in MB/s of input (10^6 bytes per second)" + (if $aggregated then ", medians" else "" end)
  + ($ARGS.named.machine // null | if . == null then "" else ", on " + . end)
  + "; in brackets each library's ratio to jsondoc in the same run",
  "Inputs in bytes: " + ($inputs | map(. + " " + ($context["input_bytes/" + .] // "?")) | join(", ")),
  "",
  (("operation" | pad(16)) + ("input" | pad(14)) + ($libraries | map(pad(20)) | join("")) | sub(" +$"; "")),
  ( ["parse_stream", "parse_string", "write_compact", "write_indented"][] as $operation
    | $inputs[] as $input
    | rate($operation; $input; "jsondoc") as $base
    | select($base != null or rate($operation; $input; "nlohmann") != null)
    | ($operation | pad(16)) + ($input | pad(14))
      + ($libraries
         | map(rate($operation; $input; .) as $r
               | if $r == null then ("-" | pad(20))
                 elif . == "jsondoc" then ($r | mbps | pad(20))
                 else (($r | mbps) + " (" + (ratio($r; $base) | if . == null then "-" else fixed(2) end) + ")"
                       | pad(20))
                 end)
         | join(""))
    | sub(" +$"; "")),
  "",
  "Goals: jsondoc's throughput divided by the other library's in the same run (stream: parse_stream, text:",
  "parse_string, compact: write_compact); each must reach the number after >=",
  ( [["parse_stream", "rapidjson", 1], ["parse_string", "rapidjson", 0.5], ["write_compact", "rapidjson", 0.8],
     ["parse_stream", "nlohmann", 1], ["parse_string", "nlohmann", 1], ["write_compact", "nlohmann", 1]] as $goals
    | {parse_stream: "stream", parse_string: "text", write_compact: "compact"} as $short
    | (("input" | pad(14)) + ($goals | map($short[.[0]] + "/" + .[1] + " >= " + (.[2] | tostring) | pad(26)) | join(""))
       | sub(" +$"; "")),
      ( $inputs[] as $input
        | ($input | pad(14))
          + ($goals
             | map(. as [$operation, $other, $least]
                   | verdict(ratio(rate($operation; $input; "jsondoc"); rate($operation; $input; $other)); $least)
                   | pad(26))
             | join(""))
        | sub(" +$"; "")))
