# Lists the Objective-C methods of the files given: "D selector" for each declaration,
# "I selector" for each implementation. Used by check.sh.
BEGIN { RS = "\0" }
{
    text = $0
    gsub(/\/\/[^\n]*/, "", text)
    while (match(text, /\n[-+][ \t]*\([^;{]*[;{]/)) {
        header = substr(text, RSTART + 1, RLENGTH - 1)
        text = substr(text, RSTART + RLENGTH)
        kind = substr(header, length(header), 1) == "{" ? "I" : "D"
        header = substr(header, 2, length(header) - 2)
        while (gsub(/\([^()]*\)/, " ", header)) {}
        gsub(/__attribute__|NS_SWIFT_[A-Z_]*|API_[A-Z_]*/, " ", header)
        selector = ""
        if (index(header, ":")) {
            while (match(header, /[A-Za-z_][A-Za-z0-9_]*[ \t\n]*:/)) {
                part = substr(header, RSTART, RLENGTH)
                gsub(/[ \t\n]/, "", part)
                selector = selector part
                header = substr(header, RSTART + RLENGTH)
            }
        } else {
            match(header, /[A-Za-z_][A-Za-z0-9_]*/)
            selector = substr(header, RSTART, RLENGTH)
        }
        print kind, selector
    }
}
