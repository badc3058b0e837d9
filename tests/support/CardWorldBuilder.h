#pragma once
// Builds a card world for the simulated controller in a temporary file and
// serves it for the life of the builder.
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

class CardWorldBuilder {
public:
    CardWorldBuilder();
    ~CardWorldBuilder();
    CardWorldBuilder(const CardWorldBuilder&) = delete;
    CardWorldBuilder& operator=(const CardWorldBuilder&) = delete;

    // A reader: "card" (with `card`), "empty" or "unavailable".
    CardWorldBuilder& Reader(const std::wstring& name, const std::wstring& state, const std::wstring& card = L"");
    // A card and its fields (Identifier, Type, PIN...).
    CardWorldBuilder& Card(const std::wstring& name, std::vector<std::pair<std::wstring, std::wstring>> fields);
    // A file beside the world, as a field value naming it ("@name").
    std::wstring File(const std::wstring& name, const std::vector<unsigned char>& bytes);
    // A certificate the build made (bin/certs/NAME.der: root, issuing,
    // signature, encryption, expired, future, nokeyusage, big; or NAME with
    // its extension, such as signature.pem), as a field value naming it.
    static std::wstring Certificate(const std::wstring& name);
    // The bytes of such a certificate.
    static std::vector<unsigned char> CertificateBytes(const std::wstring& name);
    // Writes the world and has the controller serve it.
    bool Serve();
    // A field of a served card as the controller holds it now (after the
    // code under test wrote to it); "(none)" when the card has no such field.
    static std::wstring FieldOf(const std::wstring& card, const std::wstring& key);

    const std::wstring& Path() const { return m_path; }

private:
    std::wstring m_dir;
    std::wstring m_path;
    std::wstring m_text;
};
