/*
 * wbotho: our own stand-in of the "Verba" crypto library. Signing is Ed25519, encryption
 * wraps a random file key for every recipient with X25519 and seals the data with
 * XChaCha20-Poly1305 (libsodium). Key files and file formats: README.md beside this file.
 *
 * Conventions: every call that can fail returns a 16-bit code, WB_OK (0) on success.
 * File and folder names are NUL-terminated code page 1251 strings (the library opens
 * them under their UTF-8 names). Memory that the library hands out is released with
 * FreeMemory. Signing calls work between SignInit and SignDone, encryption calls between
 * CryptoInit and CryptoDone; the library keeps one loaded key per phase and is meant
 * for one thread.
 */
#ifndef WBOTHO_H
#define WBOTHO_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(WBOTHO_BUILD)
#define WB_API __attribute__((visibility("default")))
#else
#define WB_API
#endif

typedef uint16_t WB_RESULT;

/* A key identifier: the key number as four decimal digits, then six upper-case hex
   digits that tell this key pair from another one of the same number ("0001A3F09C"). */
#define WB_ID_LENGTH 10
/* The least size of the buffer that GetCurrID fills (identifier and its NUL). */
#define WB_ID_BUFFER 16

/* Key kinds for GetCurrID. */
#define WB_KEY_SIGN 'S'
#define WB_KEY_CRYPT 'E'

/* DelSign / Del_Mem_Sign: remove every signature (other values: the one at that index). */
#define WB_ALL_SIGNATURES 255

enum {
    WB_OK = 0,
    WB_E_PARAMETER = 1,        /* a null pointer, an unknown key kind, a bad key number or
                                  recipient list, reserved bytes that are not zero */
    WB_E_NOT_INITIALIZED = 2,  /* SignInit or CryptoInit was not called (or failed) */
    WB_E_NO_SECRET_KEY = 3,    /* the secret key folder holds no key file, or more than one */
    WB_E_NO_PUBLIC_KEY = 4,    /* the public key folder has no key of the number needed */
    WB_E_KEY_FILE = 5,         /* a key file is damaged */
    WB_E_WRONG_KEY = 6,        /* the key named by the caller is not the loaded one */
    WB_E_READ = 7,             /* the input file cannot be read */
    WB_E_WRITE = 8,            /* the output file cannot be written */
    WB_E_FORMAT = 9,           /* not an encrypted file, or a damaged signature block */
    WB_E_NOT_RECIPIENT = 10,   /* the file is not encrypted for the loaded key's number */
    WB_E_KEY_MISMATCH = 11,    /* the file key cannot be unwrapped: encrypted for another key
                                  pair of this number, by a sender whose public key differs
                                  from the one in the public folder, or its key block is
                                  damaged */
    WB_E_DAMAGED = 12,         /* the encrypted data fails its check: it was altered */
    WB_E_TOO_LARGE = 13,       /* more than 4 GB, or more than 255 signatures */
    WB_E_INTERNAL = 14         /* libsodium did not start, or memory ran out */
};

/* The status of one signature in a check list. */
enum {
    WB_SIGN_OK = 0,      /* valid */
    WB_SIGN_BAD = 1,     /* does not match the data: the data or the signature was altered */
    WB_SIGN_NO_KEY = 2   /* the signer's public key is not in the public key folder (or is
                            another key pair of that number) */
};

/* One entry of a check list: 140 bytes, the status at offset 135. */
#pragma pack(push, 1)
typedef struct WB_CHECK_STATUS {
    char ID[135];        /* the signer's key identifier, NUL-terminated */
    uint8_t Status;      /* WB_SIGN_OK, WB_SIGN_BAD or WB_SIGN_NO_KEY */
    uint8_t Reserved[4]; /* zero */
} WB_CHECK_STATUS;
#pragma pack(pop)

/* The identifier of the loaded key of a kind (WB_KEY_SIGN after SignInit, WB_KEY_CRYPT
   after CryptoInit) into a buffer of at least WB_ID_BUFFER bytes. */
WB_API WB_RESULT GetCurrID(char* id, char kind);

/* Loads the signing key from the secret folder (its one "NNNN.sec" file); signatures are
   checked with the "NNNN.pub" files of the public folder. */
WB_API WB_RESULT SignInit(const char* secretFolder, const char* publicFolder);
/* Appends the loaded key's signature to the data of inFile (a file may carry several
   signatures); signerId must be the loaded key's identifier. */
WB_API WB_RESULT SignFile(const char* inFile, const char* outFile, const char* signerId);
/* The same over memory; *signedData is released with FreeMemory. */
WB_API WB_RESULT SignMem(const void* data, uint32_t size, void** signedData, uint32_t* signedSize,
                         const char* signerId);
/* Checks every signature of the file: *count entries at *list (null when there are
   none), released with FreeMemory. A file without signatures gives a count of 0. */
WB_API WB_RESULT check_file_sign(const char* file, uint8_t* count, WB_CHECK_STATUS** list);
WB_API WB_RESULT check_mem_sign(const void* data, uint32_t size, uint8_t* count, WB_CHECK_STATUS** list);
/* Removes the signature at index `which`, or all with WB_ALL_SIGNATURES, rewriting the
   file; an unsigned file stays as it is. */
WB_API WB_RESULT DelSign(const char* file, uint8_t which);
/* The same in place; *size becomes the new size. */
WB_API WB_RESULT Del_Mem_Sign(void* data, uint32_t* size, uint8_t which);
/* Forgets the signing key. */
WB_API void SignDone(void);

/* Loads the encryption key from the secret folder; recipients' and senders' public keys
   come from the public folder. */
WB_API WB_RESULT CryptoInit(const char* secretFolder, const char* publicFolder);
/* Encrypts inFile for every key number of `recipients` (ended by 0) with the loaded key
   as the sender; ownNumber must be the loaded key's number. reserved: 6 zero bytes, or
   null. */
WB_API WB_RESULT EnCryptFile(const char* inFile, const char* outFile, uint16_t ownNumber,
                             const uint16_t* recipients, const uint8_t* reserved);
WB_API WB_RESULT EnCryptMem(const void* data, uint32_t size, void** out, uint32_t* outSize,
                            uint16_t ownNumber, const uint16_t* recipients, const uint8_t* reserved);
/* Decrypts a file encrypted for the loaded key (ownNumber must be its number) and checks
   it against the sender's public key. */
WB_API WB_RESULT DeCryptFile(const char* inFile, const char* outFile, uint16_t ownNumber);
WB_API WB_RESULT DeCryptMem(const void* data, uint32_t size, void** out, uint32_t* outSize,
                            uint16_t ownNumber);
/* Forgets the encryption key. */
WB_API void CryptoDone(void);

/* Releases memory handed out by the library (a null pointer is allowed). */
WB_API void FreeMemory(void* memory);

#ifdef __cplusplus
}
#endif

#endif
