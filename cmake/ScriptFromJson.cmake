# Writes a JSON file as a classic script that sets one global to its value:
#   cmake -DINPUT=<file.json> -DOUTPUT=<file.js> -DGLOBAL=<name> -P ScriptFromJson.cmake
# The page loads its bundled data with <script> elements, which work from a
# file URL whatever the view allows fetch() to read.
file(READ ${INPUT} json)
string(STRIP "${json}" json)
file(WRITE ${OUTPUT} "window.${GLOBAL} = ${json};\n")
