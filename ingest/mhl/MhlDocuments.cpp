// SPDX-License-Identifier: GPL-3.0-or-later
#include "MhlDocuments.h"

#include "DirectoryHashes.h"
#include "ingest/records/IsoDate.h"

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlwriter.h>

#include <charconv>
#include <cstring>
#include <limits>
#include <memory>
#include <stdexcept>

namespace quaymark {

namespace {

const xmlChar* xml(const char* text) {
    return reinterpret_cast<const xmlChar*>(text);
}

const char* text(const xmlChar* value) {
    return reinterpret_cast<const char*>(value);
}

// libxml2 fills its global tables on first use, unsafely when two imports write their hash
// lists at the same moment; they are filled once, before any use.
void initialiseXml() {
    static const bool initialised = [] {
        xmlInitParser();
        return true;
    }();
    (void)initialised;
}

// An in-memory document under construction; every call's failure is an exception.
class Writer {
public:
    Writer()
        : buffer_((initialiseXml(), xmlBufferCreate()), &xmlBufferFree) {
        if (!buffer_) {
            throw std::bad_alloc();
        }
        writer_.reset(xmlNewTextWriterMemory(buffer_.get(), 0));
        if (!writer_) {
            throw std::bad_alloc();
        }
        check(xmlTextWriterSetIndent(writer_.get(), 1));
        check(xmlTextWriterSetIndentString(writer_.get(), xml("  ")));
        check(xmlTextWriterStartDocument(writer_.get(), nullptr, "UTF-8", nullptr));
    }

    void startRoot(const char* name, std::string_view ns) {
        const std::string uri(ns);
        check(xmlTextWriterStartElementNS(writer_.get(), nullptr, xml(name), xml(uri.c_str())));
    }
    void start(const char* name) { check(xmlTextWriterStartElement(writer_.get(), xml(name))); }
    void attribute(const char* name, const std::string& value) {
        check(xmlTextWriterWriteAttribute(writer_.get(), xml(name), xml(value.c_str())));
    }
    void content(const std::string& value) {
        check(xmlTextWriterWriteString(writer_.get(), xml(value.c_str())));
    }
    void end() { check(xmlTextWriterEndElement(writer_.get())); }
    void element(const char* name, const std::string& value) {
        start(name);
        content(value);
        end();
    }

    std::string finish() {
        check(xmlTextWriterEndDocument(writer_.get()));
        writer_.reset(); // flushes into the buffer
        return std::string(text(xmlBufferContent(buffer_.get())),
                           static_cast<size_t>(xmlBufferLength(buffer_.get())));
    }

private:
    static void check(int result) {
        if (result < 0) {
            throw std::runtime_error("Cannot write the ASC MHL document.");
        }
    }

    std::unique_ptr<xmlBuffer, decltype(&xmlBufferFree)> buffer_;
    std::unique_ptr<xmlTextWriter, decltype(&xmlFreeTextWriter)> writer_{nullptr,
                                                                         &xmlFreeTextWriter};
};

// A parsed document whose root is `root` in namespace `ns`.
class Document {
public:
    Document(std::string_view data, const char* root, std::string_view ns)
        : document_((initialiseXml(),
                     xmlReadMemory(data.data(), static_cast<int>(data.size()), nullptr, nullptr,
                                   XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING)),
                    &xmlFreeDoc) {
        if (data.size() > static_cast<size_t>(std::numeric_limits<int>::max()) || !document_) {
            throw std::runtime_error("not a readable XML document");
        }
        root_ = xmlDocGetRootElement(document_.get());
        if (!root_ || !is(root_, root, ns)) {
            throw std::runtime_error(std::string("not an ASC MHL ") + root + " document");
        }
    }

    xmlNode* root() const { return root_; }

    static bool is(const xmlNode* node, const char* name, std::string_view ns) {
        return node->type == XML_ELEMENT_NODE && std::strcmp(text(node->name), name) == 0 &&
               node->ns && node->ns->href && ns == text(node->ns->href);
    }

    static std::vector<xmlNode*> children(const xmlNode* parent, const char* name,
                                          std::string_view ns) {
        std::vector<xmlNode*> found;
        for (xmlNode* child = parent->children; child; child = child->next) {
            if (is(child, name, ns)) {
                found.push_back(child);
            }
        }
        return found;
    }

    static std::optional<std::string> childText(const xmlNode* parent, const char* name,
                                                std::string_view ns) {
        const auto found = children(parent, name, ns);
        if (found.empty()) {
            return std::nullopt;
        }
        std::unique_ptr<xmlChar, decltype(xmlFree)> value(xmlNodeGetContent(found.front()),
                                                          xmlFree);
        return value ? std::string(text(value.get())) : std::string();
    }

private:
    std::unique_ptr<xmlDoc, decltype(&xmlFreeDoc)> document_;
    xmlNode* root_ = nullptr;
};

void writeFolderHashes(Writer& out, const AscMhl::DirectoryHash& hash, const std::string& date) {
    for (const auto& [part, value] :
         {std::pair{"content", &hash.content}, std::pair{"structure", &hash.structure}}) {
        out.start(part);
        out.start("xxh128");
        out.attribute("hashdate", date);
        out.content(*value);
        out.end();
        out.end();
    }
}

std::string trimmed(const std::string& value) {
    const auto first = value.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) {
        return {};
    }
    return value.substr(first, value.find_last_not_of(" \t\r\n") - first + 1);
}

} // namespace

std::string AscMhl::formatDate(Timestamp date) {
    std::string iso = formatIsoDate(date); // ends in "Z"
    iso.pop_back();
    return iso + "+00:00";
}

bool AscMhl::xmlSafe(std::string_view value) {
    const std::string copy(value);
    if (xmlCheckUTF8(xml(copy.c_str())) == 0 || copy.size() != std::strlen(copy.c_str())) {
        return false;
    }
    for (const char c : copy) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 && byte != '\t' && byte != '\n' && byte != '\r') {
            return false;
        }
    }
    return true;
}

std::string AscMhl::writeManifest(const Manifest& manifest) {
    const std::string created = formatDate(manifest.created);
    const std::vector<DirectoryHash> folders =
        directoryHashes(manifest.hashes, manifest.ignorePatterns);
    Writer out;
    out.startRoot("hashlist", manifestNamespace);
    out.attribute("version", "2.0");

    out.start("creatorinfo");
    out.element("creationdate", created);
    out.element("hostname", manifest.hostName);
    out.start("tool");
    out.attribute("version", manifest.toolVersion);
    out.content(manifest.toolName);
    out.end();
    out.end();

    out.start("processinfo");
    out.element("process", "transfer");
    out.start("roothash");
    writeFolderHashes(out, folders.front(), created);
    out.end();
    if (!manifest.ignorePatterns.empty()) {
        out.start("ignore");
        for (const auto& pattern : manifest.ignorePatterns) {
            out.element("pattern", pattern);
        }
        out.end();
    }
    out.end();

    if (!manifest.hashes.empty()) {
        out.start("hashes");
        for (const auto& hash : manifest.hashes) {
            out.start("hash");
            out.start("path");
            out.attribute("size", std::to_string(hash.size));
            if (hash.modified) {
                out.attribute("lastmodificationdate", formatDate(*hash.modified));
            }
            out.content(hash.path);
            out.end();
            out.start("xxh128");
            out.attribute("action", std::string(hash.action));
            out.attribute("hashdate", created);
            out.content(hash.xxh128);
            out.end();
            out.end();
        }
        for (auto folder = folders.begin() + 1; folder != folders.end(); ++folder) {
            out.start("directoryhash");
            out.element("path", folder->path);
            writeFolderHashes(out, *folder, created);
            out.end();
        }
        out.end();
    }
    out.end();
    return out.finish();
}

std::string AscMhl::writeChain(const std::vector<ChainEntry>& chain) {
    Writer out;
    out.startRoot("ascmhldirectory", chainNamespace);
    for (const auto& entry : chain) {
        out.start("hashlist");
        out.attribute("sequencenr", std::to_string(entry.sequence));
        out.element("path", entry.path);
        out.element("c4", entry.c4);
        out.end();
    }
    out.end();
    return out.finish();
}

AscMhl::RecordedManifest AscMhl::readManifest(std::string_view data) {
    const Document document(data, "hashlist", manifestNamespace);
    RecordedManifest recorded;
    for (const xmlNode* info :
         Document::children(document.root(), "processinfo", manifestNamespace)) {
        for (const xmlNode* ignore : Document::children(info, "ignore", manifestNamespace)) {
            for (const xmlNode* pattern :
                 Document::children(ignore, "pattern", manifestNamespace)) {
                std::unique_ptr<xmlChar, decltype(xmlFree)> value(xmlNodeGetContent(pattern),
                                                                  xmlFree);
                if (value) {
                    recorded.ignorePatterns.push_back(trimmed(text(value.get())));
                }
            }
        }
    }
    for (const xmlNode* hashes : Document::children(document.root(), "hashes", manifestNamespace)) {
        for (const xmlNode* hash : Document::children(hashes, "hash", manifestNamespace)) {
            // A path is a file name: spaces at either end are part of it.
            const auto path = Document::childText(hash, "path", manifestNamespace);
            if (!path) {
                continue;
            }
            // A failed entry records what a file had become, not what it should hold.
            for (const xmlNode* value : Document::children(hash, "xxh128", manifestNamespace)) {
                std::unique_ptr<xmlChar, decltype(xmlFree)> action(xmlGetProp(value, xml("action")),
                                                                   xmlFree);
                if (action && text(action.get()) == Action::failed) {
                    continue;
                }
                std::unique_ptr<xmlChar, decltype(xmlFree)> digest(xmlNodeGetContent(value),
                                                                   xmlFree);
                recorded.xxh128[*path] = trimmed(digest ? text(digest.get()) : "");
                break;
            }
        }
    }
    return recorded;
}

std::vector<AscMhl::ChainEntry> AscMhl::readChain(std::string_view data) {
    const Document document(data, "ascmhldirectory", chainNamespace);
    std::vector<ChainEntry> chain;
    for (const xmlNode* list : Document::children(document.root(), "hashlist", chainNamespace)) {
        ChainEntry entry;
        std::unique_ptr<xmlChar, decltype(xmlFree)> sequence(xmlGetProp(list, xml("sequencenr")),
                                                             xmlFree);
        if (sequence) {
            const std::string number = trimmed(text(sequence.get()));
            const auto [end, error] =
                std::from_chars(number.data(), number.data() + number.size(), entry.sequence);
            if (error != std::errc() || end != number.data() + number.size()) {
                throw std::runtime_error("the chain's sequence number is not a number: " + number);
            }
        }
        entry.path = trimmed(Document::childText(list, "path", chainNamespace).value_or(""));
        entry.c4 = trimmed(Document::childText(list, "c4", chainNamespace).value_or(""));
        chain.push_back(std::move(entry));
    }
    return chain;
}

} // namespace quaymark
