/* vvpPKI: the signing library of the Vocanet Virtual Printer.
 *
 * A software token kept in a PKCS#12 store file ("vvpstore.psi"). Texts are zero-terminated
 * single-byte strings. Returned texts live in a buffer of the library that stays valid until
 * the calling thread's next call into the library. All calls are serialised inside.
 */
#ifndef VVP_PKI_H
#define VVP_PKI_H

#ifdef __cplusplus
extern "C" {
#endif

#if defined(VVP_PKI_BUILDING)
#define VVP_PKI_API __attribute__((visibility("default")))
#else
#define VVP_PKI_API
#endif

/* Status bits. */
#define VVP_PKI_STATUS_READY 1      /* the library is loaded */
#define VVP_PKI_STATUS_STORE_OPEN 2 /* a store is open */
#define VVP_PKI_STATUS_TOKEN 4      /* the open store holds a usable key and certificate */
#define VVP_PKI_STATUS_LOGGED_ON 8  /* TokenLogon succeeded and no Logoff/CloseStore since */

/* Opens the store file under its password, closing any store opened before.
 * Returns "OK", or a text starting "Error: " that never contains the letters "ok". */
VVP_PKI_API const char* SetStore(const char* storePath, const char* password);

/* The VVP_PKI_STATUS_* bits. */
VVP_PKI_API int Status(void);

/* Logs the token on. Returns its description, lines ended by CR LF:
 *   Name <address>
 *   SUBJECT=C=AU, ST=..., L=..., O=..., CN=..., emailAddress=...
 *   Email=address
 *   SERIAL NUM=hex serial
 *   Token ID=16 hex digits of the certificate's SHA-256 fingerprint
 *   ISSUER=issuer DN
 * or on failure a text whose first line is the reason, starting "Error: ". */
VVP_PKI_API const char* TokenLogon(void);

/* Signs a MIME entity. Writes the signed entity (a multipart/signed S/MIME body whose first
 * part is the text unchanged) and a terminating zero into outBuffer and returns its length
 * without the zero; returns 0 on failure, also when outSize cannot hold the result and the zero. */
VVP_PKI_API int SignBig(const char* text, char* outBuffer, int outSize);

/* The outSize SignBig needs for this text now (its result plus room to spare), 0 on failure. */
VVP_PKI_API int SignBigSize(const char* text);

/* Closes the store and forgets the key. */
VVP_PKI_API void CloseStore(void);

/* 1 when the open store holds a usable key and certificate, else 0. */
VVP_PKI_API int TokenPresent(void);

/* Ends a logon; 1 when a token was logged on, else 0. */
VVP_PKI_API int Logoff(void);

/* Signs the bytes of the file inPath as SignBig does and writes the signed entity to outPath
 * (through a temporary file and a rename). 1 on success, 0 on failure. */
VVP_PKI_API int Signfile(const char* inPath, const char* outPath);

#ifdef __cplusplus
}
#endif

#endif
