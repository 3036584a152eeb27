# The domain controller's folder, made the way an administrator would. "provision.sh FOLDER
# ADMIN_PW SERVICE_PW USER_PW": a CA of our own, a DC certificate naming both the DC and the domain
# (the referrals the DC writes name the domain), then the domain and its accounts. "provision.sh
# FOLDER ADMIN_PW bulk COUNT": COUNT more members of Crowd through the running DC, more accounts
# than samba-tool makes in reasonable time.
set -e
folder=$1 admin=$2 tls=$1/tls users=CN=Users,DC=example,DC=test
if [ "$3" = bulk ]; then
  {
    for i in $(seq "$4"); do
      printf 'dn: CN=member%s,%s\nchangetype: add\nobjectClass: user\nsAMAccountName: member%s\n\n' \
        "$i" "$users" "$i"
    done
    printf 'dn: CN=Crowd,%s\nchangetype: modify\nadd: member\n' "$users"
    for i in $(seq "$4"); do echo "member: CN=member$i,$users"; done
    printf 'member: CN=Alice Smith,%s\n-\n\n' "$users"
  } | ldapmodify -x -H ldaps://dc1.example.test -D "CN=Administrator,$users" -w "$admin"
  exit
fi
service=$3 pw=$4
mkdir -p "$tls"
echo "subjectAltName=DNS:dc1.example.test,DNS:example.test" >"$tls/ext.cnf"
openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -keyout "$tls/ca.key" \
  -out "$tls/ca.pem" -days 2 -subj "/CN=Example Test CA"
openssl req -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -keyout "$tls/key.pem" \
  -out "$tls/dc.csr" -subj /CN=dc1.example.test
openssl x509 -req -in "$tls/dc.csr" -CA "$tls/ca.pem" -CAkey "$tls/ca.key" -CAcreateserial \
  -out "$tls/cert.pem" -days 2 -extfile "$tls/ext.cnf"
chmod 600 "$tls/key.pem"
samba-tool domain provision --realm=EXAMPLE.TEST --domain=EXAMPLE --server-role=dc \
  --dns-backend=NONE --host-name=dc1 --adminpass="$admin" --targetdir="$folder/dc" \
  --option="interfaces=127.0.0.1" --option="bind interfaces only=yes" \
  --option="server services=ldap" --option="pid directory=$folder/run" \
  --option="log file=$folder/dc.log" --option="tls keyfile=$tls/key.pem" \
  --option="tls certfile=$tls/cert.pem" --option="tls cafile=$tls/ca.pem"
tool() { samba-tool "$@" -H "$folder/dc/private/sam.ldb" --configfile="$folder/dc/etc/smb.conf"; }
tool user create svc-brindle "$service"
tool user create alice "$pw" --given-name=Alice --surname=Smith
tool user create bob "$pw"
tool user create patq "$pw" --given-name=Pat --surname="O'Neil"
# samba-tool writes the CN into a DN unescaped: a comma or "<" goes in through a rename.
tool user create annaj "$pw" --use-username-as-cn
tool user rename annaj --given-name=Anna --surname="Smith, Jr." --force-new-cn="Anna Smith\\, Jr."
tool user create leet "$pw" --use-username-as-cn
tool user rename leet --given-name=Lee --surname="<Tag>" --force-new-cn="Lee \\<Tag\\>"
tool user create dave "$pw" --given-name=Dave --surname=Gone
tool user disable dave
tool group add WebAdmins --description="Server admins"
tool group add Helpers --description="Nested helpers"
tool group add Crowd --description="A large group"
tool group addmembers WebAdmins alice,Helpers,dave,patq
tool group addmembers Helpers bob
