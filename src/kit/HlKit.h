// The crypto kit's C interface.
//
// The kit is two shared libraries that live in the program's folder and are
// loaded at run time with dlopen (never linked): the key library offers the
// hl_* functions, the seed library offers GetMouseSeed. Every function returns
// a 32-bit code, 0 for success; no C++ exception ever leaves the kit. Strings
// (paths, passwords, the notice) are NUL-terminated 8-bit text; byte areas have
// the fixed sizes given below and may contain NUL bytes.
//
// This header is shared with the loader in src/crypto: change it only by
// adding to it.
#ifndef QUORVEX_KIT_HLKIT_H
#define QUORVEX_KIT_HLKIT_H

#include <stdint.h>

#if defined(QUORVEX_KIT_BUILD)
#define HL_KIT_API __attribute__((visibility("default")))
#else
#define HL_KIT_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Library file names (looked for in the program's folder) ---- */
#define HL_KIT_LIBRARY_NAME "libquorvexkit.so"
#define HL_SEED_LIBRARY_NAME "libquorvexseed.so"

/* ---- Fixed sizes ---- */
#define HL_INFO_SIZE 100           /* info block kept in the key file */
#define HL_PUBLIC_KEY_SIZE 140     /* DER RSAPublicKey of a 1024-bit key, e = 65537 */
#define HL_CERTIFICATE_SIZE 192    /* certificate slot */
#define HL_SIGNATURE_SIZE 128      /* RSA-1024 PKCS#1 v1.5 signature */
#define HL_DIGEST_SIZE 16          /* hash algorithm 1: SHA-256 truncated to 16 bytes */
#define HL_SEED_SIZE 128           /* seed handed to hl_generate / filled by GetMouseSeed */
#define HL_GENERATE_OUT_SIZE 196   /* out area of hl_generate (zeroed by the kit, no content) */
#define HL_MAX_PASSWORD_LENGTH 256 /* longer passwords are refused with HL_E_BAD_ARGUMENT */
#define HL_MAX_NOTICE_LENGTH 4096  /* longer notices are refused with HL_E_BAD_ARGUMENT */

/* ---- hl_on modes ---- */
#define HL_MODE_KEY_FILE 2    /* path names a key file (it need not exist before hl_generate) */
#define HL_MODE_HASH_ONLY 100 /* path is ignored (may be null); the handle only hashes */

/* ---- Hash algorithms ---- */
#define HL_HASH_ALG_SHA256_16 1

/* ---- hl_change_def_int_param parameters ---- */
/* Parameter 6 selects the signature padding; value 0 = RSA PKCS#1 v1.5, the only one offered. */
#define HL_PARAM_SIGN_PADDING 6
#define HL_PADDING_PKCS1_V15 0

/* ---- Hash algorithm details record (80 bytes) ----
 * The caller sets `size` (byte 0) to 80 before calling hl_get_hash_alg_details;
 * the kit fills `contextSize` (byte 8), the byte count that the caller must
 * allocate for the context handed to hl_init_hash/hl_cont_hash/hl_end_hash. */
#define HL_DETAILS_SIZE 80
#define HL_DETAILS_OFFSET_SIZE 0
#define HL_DETAILS_OFFSET_CONTEXT_SIZE 8
typedef struct HlHashAlgDetails {
    int32_t size;        /* byte 0: 80, set by the caller */
    int32_t algorithm;   /* byte 4: filled by the kit (1) */
    int32_t contextSize; /* byte 8: filled by the kit */
    int32_t digestSize;  /* byte 12: filled by the kit (16) */
    int32_t blockSize;   /* byte 16: filled by the kit (64) */
    uint8_t reserved[60];
} HlHashAlgDetails;

/* ---- Result codes ---- */
#define HL_OK 0
#define HL_E_INTERNAL 40961     /* unexpected failure inside the kit */
#define HL_E_SELF_TEST 40962    /* the kit's self-test failed when it was loaded; nothing works */
#define HL_E_BAD_HANDLE 40963   /* handle unknown, already closed, or of the wrong mode */
#define HL_E_BAD_ARGUMENT 40964 /* null pointer, bad length, unknown mode/algorithm/parameter */
#define HL_E_NO_MEMORY 40965
#define HL_E_FILE_OPEN 40966         /* the key file cannot be opened or created */
#define HL_E_FILE_READ 40967         /* the key file cannot be read */
#define HL_E_FILE_WRITE 40968        /* the key file cannot be written (nothing was changed) */
#define HL_E_FILE_FORMAT 40969       /* the key file is damaged or not a key file */
#define HL_E_FILE_VERSION 40970      /* the key file has a version this kit does not know */
#define HL_E_NOT_FORMATTED 40971     /* hl_generate without a preceding hl_format */
#define HL_E_NO_KEY 40972            /* the medium holds no key pair yet */
#define HL_E_CRYPTO 40973            /* an OpenSSL operation failed */
#define HL_E_SEED 40974              /* the seed could not be mixed into the generator */
#define HL_E_PASSWORD_MISMATCH 40975 /* hl_generate: password and its repetition differ */
#define HL_E_TOO_MANY_HANDLES 40976
#define HL_E_BAD_CONTEXT 40977    /* hash context not initialised or already ended */
#define HL_E_WRONG_PASSWORD 40979 /* the password does not open the private key */
#define HL_E_CERTIFICATE_KEY                                                                                           \
    40980 /* hl_put_certificate: the certificate was not issued for
                                        this key (it does not name the key's digest, or is not
                                        a certificate; docs/certificate-format.md) */

/* Results of GetMouseSeed: 1 or more = seed filled; 1 is also returned on
 * Cancel, with the seed left all zeros (the caller sees the zeros). */
#define HL_SEED_FILLED 2
#define HL_SEED_CANCELLED 1
#define HL_SEED_ERROR 0

/* ---- The key library ----
 * hl_on writes -1 to *handle when it fails. A key-file handle may name a file
 * that does not exist yet (an empty medium for hl_format + hl_generate).
 * Hashing works on any open handle. hl_sign makes an RSA PKCS#1 v1.5
 * signature (block type 1) whose payload is the 16 digest bytes themselves,
 * without a DigestInfo; docs/kit-key-file-format.md has the details. */
HL_KIT_API int32_t hl_on(int32_t* handle, int32_t mode, const char* path);
HL_KIT_API int32_t hl_off(int32_t handle);
HL_KIT_API int32_t hl_format(int32_t handle);
HL_KIT_API int32_t hl_generate(int32_t handle, const void* info /* 100 */, const char* notice, int32_t noticeLength,
                               const char* password, const char* passwordAgain, const void* seed /* 128 */,
                               void* outArea /* 196 */);
HL_KIT_API int32_t hl_get_public_key(int32_t handle, void* publicKey /* 140 */);
HL_KIT_API int32_t hl_get_user_data(int32_t handle, void* info /* 100 */);
HL_KIT_API int32_t hl_update_user_data(int32_t handle, const void* info /* 100 */, const char* password);
HL_KIT_API int32_t hl_put_certificate(int32_t handle, const void* certificate /* 192 */);
HL_KIT_API int32_t hl_change_password(int32_t handle, const char* oldPassword, const char* newPassword);
HL_KIT_API int32_t hl_get_hash_alg_details(int32_t handle, int32_t algorithm, void* details /* 80 */);
HL_KIT_API int32_t hl_init_hash(int32_t handle, int32_t algorithm, void* context);
HL_KIT_API int32_t hl_cont_hash(void* context, const void* data, int32_t length);
HL_KIT_API int32_t hl_end_hash(void* context, void* digest /* 16 */);
HL_KIT_API int32_t hl_change_def_int_param(int32_t handle, int32_t parameter, int32_t value);
HL_KIT_API int32_t hl_sign(int32_t handle, const void* digest, int32_t digestLength, void* signature /* 128 */,
                           const char* password, int32_t hashAlgorithm);

/* ---- The seed library ----
 * reserved: 0. owner: the owner window, a QWidget* passed as void* (may be
 * null). seed: 128 bytes, filled on success, all zeros after Cancel. */
HL_KIT_API int32_t GetMouseSeed(int32_t reserved, void* owner, void* seed /* 128 */);

/* ---- Function pointer types, for dlsym ---- */
typedef int32_t (*hl_on_t)(int32_t*, int32_t, const char*);
typedef int32_t (*hl_off_t)(int32_t);
typedef int32_t (*hl_format_t)(int32_t);
typedef int32_t (*hl_generate_t)(int32_t, const void*, const char*, int32_t, const char*, const char*, const void*,
                                 void*);
typedef int32_t (*hl_get_public_key_t)(int32_t, void*);
typedef int32_t (*hl_get_user_data_t)(int32_t, void*);
typedef int32_t (*hl_update_user_data_t)(int32_t, const void*, const char*);
typedef int32_t (*hl_put_certificate_t)(int32_t, const void*);
typedef int32_t (*hl_change_password_t)(int32_t, const char*, const char*);
typedef int32_t (*hl_get_hash_alg_details_t)(int32_t, int32_t, void*);
typedef int32_t (*hl_init_hash_t)(int32_t, int32_t, void*);
typedef int32_t (*hl_cont_hash_t)(void*, const void*, int32_t);
typedef int32_t (*hl_end_hash_t)(void*, void*);
typedef int32_t (*hl_change_def_int_param_t)(int32_t, int32_t, int32_t);
typedef int32_t (*hl_sign_t)(int32_t, const void*, int32_t, void*, const char*, int32_t);
typedef int32_t (*GetMouseSeed_t)(int32_t, void*, void*);

#ifdef __cplusplus
}
#endif

#endif
