// vx-password.exe <password> - prints a password in the form dmslink stores it in the registry
// (random IV, then AES-128-CBC of the UTF-16LE text, as upper-case hex), so that an administrator
// can deploy a machine-wide server in a .reg file.
#include <windows.h>
#include <wincrypt.h>

#include <cstdio>
#include <cstring>
#include <vector>

namespace {

const char kKey[] = "Wq8%Lr#2(Zt&5}Kp";

struct KeyBlob {
    BLOBHEADER header;
    DWORD size;
    BYTE key[16];
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        std::fputs("usage: vx-password.exe <password>\n", stderr);
        return 1;
    }
    HCRYPTPROV provider = 0;
    if (!CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT)) {
        std::fprintf(stderr, "no AES provider (%lu)\n", GetLastError());
        return 2;
    }
    KeyBlob blob{{PLAINTEXTKEYBLOB, CUR_BLOB_VERSION, 0, CALG_AES_128}, 16, {}};
    memcpy(blob.key, kKey, 16);
    HCRYPTKEY key = 0;
    BYTE iv[16];
    DWORD mode = CRYPT_MODE_CBC;
    const DWORD plainBytes = static_cast<DWORD>(wcslen(argv[1]) * sizeof(wchar_t));
    std::vector<BYTE> data(plainBytes + 16);
    memcpy(data.data(), argv[1], plainBytes);
    DWORD length = plainBytes;
    bool ok = CryptImportKey(provider, reinterpret_cast<BYTE*>(&blob), sizeof blob, 0, 0, &key) &&
              CryptGenRandom(provider, sizeof iv, iv) && CryptSetKeyParam(key, KP_IV, iv, 0) &&
              CryptSetKeyParam(key, KP_MODE, reinterpret_cast<BYTE*>(&mode), 0) &&
              CryptEncrypt(key, 0, TRUE, 0, data.data(), &length, static_cast<DWORD>(data.size()));
    DWORD error = GetLastError();
    if (key) CryptDestroyKey(key);
    CryptReleaseContext(provider, 0);
    if (!ok) {
        std::fprintf(stderr, "encryption failed (%lu)\n", error);
        return 2;
    }
    for (BYTE b : iv) std::printf("%02X", b);
    for (DWORD i = 0; i < length; i++) std::printf("%02X", data[i]);
    std::printf("\n");
    return 0;
}
