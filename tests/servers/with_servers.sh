#!/usr/bin/env bash
# Runs a command with the real servers that the report tests talk to, all on this machine and all
# stopped afterwards:
#   - an SMTP server on 127.0.0.1 with STARTTLS (a self-signed certificate for 127.0.0.1) and
#     login, which saves what it receives; three like it that refuse every message in their own
#     way; and one that accepts connections and never answers;
#   - the machine's sendmail (msmtp) configured to relay to that SMTP server;
#   - a private CUPS scheduler whose default queue prints into a PDF file.
# The command finds them through its environment: ZUK_SMTP_PORT, ZUK_SMTP_DIR, ZUK_SMTP_CERT,
# ZUK_SMTP_USER, ZUK_SMTP_PASSWORD, ZUK_SMTP_SILENT_PORT, ZUK_SMTP_{TEMPFAIL,PERMFAIL,DROP}_PORT,
# CUPS_SERVER, ZUK_CUPS_OUTPUT and ZUK_CUPS_LOG (the scheduler's error log).
#   with_servers.sh COMMAND [ARGUMENTS...]
set -euo pipefail
here=$(dirname "$(realpath "$0")")
work=$(mktemp -d "${TMPDIR:-/tmp}/zuk-servers.XXXXXX")
chmod 755 "$work"
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# wait_for FILE WHAT [LOG]: waits up to 30 s for FILE; otherwise fails, showing what LOG holds.
wait_for() {
  for _ in $(seq 300); do
    [[ -e $1 ]] && return 0
    sleep 0.1
  done
  echo "with_servers: $2 did not start within 30 s" >&2
  [[ -n ${3:-} && -e $3 ]] && { echo "--- $3:" >&2; cat "$3" >&2; }
  exit 1
}

# The certificate and the SMTP servers.
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=127.0.0.1" -addext "subjectAltName=IP:127.0.0.1" \
  -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
export ZUK_SMTP_USER=zuk ZUK_SMTP_PASSWORD=secreto-de-prueba ZUK_SMTP_DIR=$work/mail ZUK_SMTP_CERT=$work/cert.pem
/usr/bin/python3 "$here/smtp_server.py" --dir "$ZUK_SMTP_DIR" --ready "$work/smtp.port" --cert "$work/cert.pem" \
  --key "$work/key.pem" --user "$ZUK_SMTP_USER" --password "$ZUK_SMTP_PASSWORD" >"$work/smtp.log" 2>&1 &
pids+=($!)
/usr/bin/python3 "$here/smtp_server.py" --dir "$work/silent" --ready "$work/silent.port" --mode silent \
  >"$work/silent.log" 2>&1 &
pids+=($!)
# Servers that log the client in and then refuse the message: "451" (try later), "554" (never),
# or a connection dropped once the message is in.
for mode in tempfail permfail drop; do
  /usr/bin/python3 "$here/smtp_server.py" --dir "$work/$mode" --ready "$work/$mode.port" --mode $mode \
    --cert "$work/cert.pem" --key "$work/key.pem" --user "$ZUK_SMTP_USER" --password "$ZUK_SMTP_PASSWORD" \
    >"$work/$mode.log" 2>&1 &
  pids+=($!)
done
wait_for "$work/smtp.port" "the SMTP server" "$work/smtp.log"
wait_for "$work/silent.port" "the silent SMTP server" "$work/silent.log"
ZUK_SMTP_PORT=$(cat "$work/smtp.port")
ZUK_SMTP_SILENT_PORT=$(cat "$work/silent.port")
export ZUK_SMTP_PORT ZUK_SMTP_SILENT_PORT
for mode in tempfail permfail drop; do
  wait_for "$work/$mode.port" "the $mode SMTP server" "$work/$mode.log"
  export "ZUK_SMTP_${mode^^}_PORT=$(cat "$work/$mode.port")"
done

# sendmail (msmtp) relays to the SMTP server.
mkdir -p "$work/config/msmtp"
cat >"$work/config/msmtp/config" <<MSMTP
defaults
auth on
tls on
tls_starttls on
tls_trust_file $work/cert.pem
account default
host 127.0.0.1
port $ZUK_SMTP_PORT
from zuk@tienda.invalid
user $ZUK_SMTP_USER
password $ZUK_SMTP_PASSWORD
MSMTP
chmod 600 "$work/config/msmtp/config"
export XDG_CONFIG_HOME=$work/config

# A private CUPS with a default queue that writes PDF into a file.
cups=$work/cups
mkdir -p "$cups"/{spool,cache,state,tmp,log} "$work/out"
cat >"$cups/cupsd.conf" <<CUPSD
Listen $cups/cups.sock
LogLevel warn
DefaultAuthType None
<Location />
  Order allow,deny
  Allow all
</Location>
<Policy default>
  <Limit All>
    Order deny,allow
  </Limit>
</Policy>
CUPSD
cat >"$cups/cups-files.conf" <<FILES
FileDevice Yes
User lp
Group lp
ServerRoot $cups
RequestRoot $cups/spool
CacheDir $cups/cache
StateDir $cups/state
TempDir $cups/tmp
ServerBin /usr/lib/cups
DataDir /usr/share/cups
ErrorLog $cups/log/error_log
AccessLog $cups/log/access_log
PageLog $cups/log/page_log
FILES
chown -R lp:lp "$cups" "$work/out"
/usr/sbin/cupsd -f -c "$cups/cupsd.conf" -s "$cups/cups-files.conf" &
pids+=($!)
wait_for "$cups/cups.sock" "cupsd" "$cups/log/error_log"
export CUPS_SERVER=$cups/cups.sock ZUK_CUPS_OUTPUT=$work/out/pdf.out ZUK_CUPS_LOG=$cups/log/error_log
for _ in $(seq 300); do lpstat -r >/dev/null 2>&1 && break; sleep 0.1; done
lpstat -r >/dev/null 2>&1 || { echo "with_servers: cupsd does not answer after 30 s" >&2; cat "$cups/log/error_log" >&2 || true; exit 1; }
lpadmin -p pdf -E -v "file://$ZUK_CUPS_OUTPUT" -P /usr/share/ppd/cupsfilters/Generic-PDF_Printer-PDF.ppd
lpadmin -d pdf

"$@"
