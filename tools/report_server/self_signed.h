#pragma once
// The server's own TLS identity: a self-signed certificate for localhost,
// 127.0.0.1 and ::1, made once and kept in the data folder.

#include <string>

namespace zorel::reportserver {

// Makes an EC P-256 key and a self-signed certificate (ten years, subject
// CN=localhost, alternative names localhost, 127.0.0.1 and ::1) and writes
// them as PEM to certFile and keyFile (the key readable by the owner only),
// unless both files exist already.
// RETURNS true; false with a readable reason in error.
bool ensureSelfSignedCertificate(const std::string& certFile, const std::string& keyFile,
                                 std::string& error);

}  // namespace zorel::reportserver
