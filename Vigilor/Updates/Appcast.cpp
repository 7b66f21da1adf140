#include "Appcast.h"

#include "Foundation/Base64.h"
#include "Foundation/Text.h"

#include <expat.h>
#include <openssl/evp.h>

#include <climits>
#include <memory>

namespace {

constexpr std::string_view sparkleNamespace = "http://www.andymatuschak.org/xml-namespaces/sparkle";
constexpr char namespaceSeparator = ' '; // cannot occur in a namespace name
constexpr std::size_t ed25519SignatureSize = 64;

// Collects the items of rss/channel while expat reads the document.
struct AppcastReader {
    XML_Parser parser = nullptr;
    std::vector<std::string> open; // names of the open elements, outermost first
    AppcastDocument document;
    std::string* field = nullptr; // the item field whose text is being read
    std::string refusal;

    std::string* fieldNamed(const std::string& name) {
        AppcastItem& item = document.items.back();
        if (name == "link")
            return &item.link;
        if (name == "description")
            return &item.notes;
        const std::string prefix = std::string(sparkleNamespace) + namespaceSeparator;
        if (!name.starts_with(prefix))
            return nullptr;
        const std::string local = name.substr(prefix.size());
        return local == "shortVersionString" ? &item.version
               : local == "os"               ? &item.os
               : local == "edSignature"      ? &item.signature
                                             : nullptr;
    }

    // The name is pushed even when the parser stops here: expat still reports the end of an empty
    // element after a stop, and every end pops one name.
    void start(const std::string& name) {
        const std::size_t depth = open.size();
        open.push_back(name);
        if (depth == 0 && name != "rss")
            return stop("the document is <" + name + ">, not an RSS feed");
        if (depth == 2 && open[1] == "channel" && name == "item")
            document.items.emplace_back();
        else if (depth == 3 && open[2] == "item" && open[1] == "channel")
            field = fieldNamed(name);
    }

    void end() {
        open.pop_back();
        if (open.size() <= 3)
            field = nullptr;
    }

    void stop(std::string why) {
        refusal = std::move(why);
        XML_StopParser(parser, XML_FALSE);
    }
};

void XMLCALL startElement(void* context, const XML_Char* name, const XML_Char**) {
    static_cast<AppcastReader*>(context)->start(name);
}

void XMLCALL endElement(void* context, const XML_Char*) {
    static_cast<AppcastReader*>(context)->end();
}

void XMLCALL characters(void* context, const XML_Char* text, int length) {
    auto& reader = *static_cast<AppcastReader*>(context);
    if (reader.field)
        reader.field->append(text, static_cast<std::size_t>(length));
}

void XMLCALL refuseDocumentType(void* context, const XML_Char*, const XML_Char*, const XML_Char*, int) {
    static_cast<AppcastReader*>(context)->stop("it declares a document type");
}

struct ParserDeleter {
    void operator()(XML_Parser parser) const { XML_ParserFree(parser); }
};

void trim(std::string& text) {
    text = std::string(trimmed(text));
}

} // namespace

AppcastDocument parseAppcast(std::string_view xml) {
    const std::unique_ptr<XML_ParserStruct, ParserDeleter> parser(
        XML_ParserCreateNS("UTF-8", namespaceSeparator));
    AppcastReader reader;
    if (!parser)
        return {{}, "no memory for the XML parser"};
    reader.parser = parser.get();
    XML_SetUserData(parser.get(), &reader);
    XML_SetElementHandler(parser.get(), startElement, endElement);
    XML_SetCharacterDataHandler(parser.get(), characters);
    XML_SetStartDoctypeDeclHandler(parser.get(), refuseDocumentType);
    if (xml.size() > static_cast<std::size_t>(INT_MAX))
        return {{}, "the document is too large"};
    const XML_Status status = XML_Parse(parser.get(), xml.data(), static_cast<int>(xml.size()), XML_TRUE);
    if (!reader.refusal.empty())
        return {{}, reader.refusal};
    if (status != XML_STATUS_OK)
        return {{},
                std::string(XML_ErrorString(XML_GetErrorCode(parser.get()))) + " at line " +
                    std::to_string(XML_GetCurrentLineNumber(parser.get()))};
    for (AppcastItem& item : reader.document.items)
        for (std::string* field : {&item.version, &item.os, &item.link, &item.notes, &item.signature})
            trim(*field);
    return std::move(reader.document);
}

std::string appcastSignedMessage(const AppcastItem& item) {
    return "zorvi-appcast-item-v1\n" + item.version + "\n" + item.os + "\n" + item.link + "\n" + item.notes;
}

bool hasValidAppcastSignature(const AppcastItem& item, const Ed25519PublicKey& publicKey) {
    const auto signature = base64Decoded(item.signature);
    if (!signature || signature->size() != ed25519SignatureSize)
        return false;
    const std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(
        EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr, publicKey.data(), publicKey.size()),
        &EVP_PKEY_free);
    const std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
    if (!key || !context || EVP_DigestVerifyInit(context.get(), nullptr, nullptr, nullptr, key.get()) != 1)
        return false;
    const std::string message = appcastSignedMessage(item);
    return EVP_DigestVerify(context.get(), reinterpret_cast<const unsigned char*>(signature->data()),
                            signature->size(), reinterpret_cast<const unsigned char*>(message.data()),
                            message.size()) == 1;
}
