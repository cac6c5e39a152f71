#pragma once
// The failure numbers of the mail stand-ins, as the MAPI controls numbered theirs.
namespace mail::err {
constexpr long mapFailure = 32002;            // the send failed: the reason follows
constexpr long mapLoginFail = 32003;          // the server refused the user name or the password
constexpr long mapAttachmentNotFound = 32011; // the file to attach is not there
constexpr long mapNotSignedOn = 32050;        // no session: SignOn first
constexpr long olFailure = -2147467259;       // the machine's mail system did not take the message
} // namespace mail::err
