#!/bin/sh
# ----- VOCANET Printer Creation Utility ---
# createVNptr.sh NAME PORT PPD: makes the CUPS queue NAME, which turns what programs print into
# text through the filter the PPD names and sends it to socket://127.0.0.1:PORT.
# VVP reads the report: "Printer Created." only after every step worked, "VNPTR Completed" last.
LC_ALL=C
export LC_ALL
finish() {
    echo "VNPTR Completed"
    exit "$1"
}
for tool in lpadmin lpstat; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "Input Error: $tool was not found"
        finish 1
    fi
done
if [ $# -ne 3 ] || [ ! -r "$3" ]; then
    echo "Input Error: usage: createVNptr.sh NAME PORT PPD"
    finish 1
fi
name=$1
port=$2
ppd=$3
case $name in
    '' | -*)
        echo "Input Error: not a printer name"
        finish 1
        ;;
esac
case $port in
    '' | *[!0-9]* | ??????*)
        printf 'Input Error: "%s" is not a port number\n' "$port"
        finish 1
        ;;
esac
if [ "$port" -lt 1 ] || [ "$port" -gt 65535 ]; then
    printf 'Input Error: "%s" is not a port number\n' "$port"
    finish 1
fi

echo "Step 1.  Create Printer Port"
# Queue names ignore letter case: lpadmin would quietly re-point an existing queue.
if lpstat -e 2>/dev/null | VNPTR_NAME=$name awk 'tolower($0) == tolower(ENVIRON["VNPTR_NAME"]) { found = 1 }
        END { exit !found }'; then
    printf 'A printer named %s already exists; choose another name.\n' "$name"
    echo "Create Port FAILED."
    finish 1
fi

echo "Step 2.  Create Printer Device"
if ! lpadmin -p "$name" -E -v "socket://127.0.0.1:$port" -P "$ppd" -D "Vocanet Virtual Printer" \
    -o printer-error-policy=retry-job; then
    echo "Printer Creation Failed"
    finish 1
fi
if ! lpstat "-v$name" 2>/dev/null | grep -q "socket://127.0.0.1:$port"; then
    echo "The printer does not show in the printer list."
    echo "Printer Creation Failed"
    finish 1
fi
# A queue whose filter CUPS cannot run would take jobs and print nothing.
if lpstat -l "-p$name" 2>/dev/null | grep -q -e missing-filter -e insecure-filter; then
    echo "CUPS cannot run the filter that the queue needs (vvp-textonly); install it into CUPS's filter folder."
    lpadmin -x "$name"
    echo "Printer Creation Failed"
    finish 1
fi
echo "Printer Created."
finish 0
