#include "kernel/driver_settings_printer.h"

#include <cctype>
#include <cstring>

namespace fssh {
namespace {

// True when the reader would not give `word` back unchanged from its bare
// spelling: it is empty, holds a character that ends or escapes a word, or
// starts with a character that opens a quote, a comment or a block.
bool needs_quotes(const char* word)
{
    if (word[0] == '\0' || std::strchr("'#{}", word[0]) != nullptr) {
        return true;
    }
    for (const char* c = word; *c != '\0'; c++) {
        if (std::isspace(static_cast<unsigned char>(*c)) || std::strchr(";\"\\=", *c) != nullptr) {
            return true;
        }
    }
    return false;
}

// Appends text to a buffer while counting the length of the whole text; what
// does not fit with a byte left for the NUL is counted but not written.
class TextWriter {
public:
    TextWriter(char* buffer, size_t size) : buffer_(buffer), size_(size) {}

    void Write(char c)
    {
        if (length_ + 1 < size_) {
            buffer_[length_] = c;
        }
        length_++;
    }

    void Write(const char* text)
    {
        for (; *text != '\0'; text++) {
            Write(*text);
        }
    }

    void WriteWord(const char* word)
    {
        if (!needs_quotes(word)) {
            Write(word);
            return;
        }
        Write('"');
        for (; *word != '\0'; word++) {
            if (*word == '"' || *word == '\\') {
                Write('\\');
            }
            Write(*word);
        }
        Write('"');
    }

    void WriteTabs(int32_t count)
    {
        for (int32_t i = 0; i < count; i++) {
            Write('\t');
        }
    }

    // Terminates the text and returns the bytes it needs, NUL included.
    size_t Finish()
    {
        buffer_[length_ < size_ ? length_ : size_ - 1] = '\0';
        return length_ + 1;
    }

private:
    char* buffer_;
    size_t size_;
    size_t length_ = 0;
};

void print_parameter(TextWriter& writer, const settings_parameter& parameter, int32_t level,
                     bool flat)
{
    if (!flat) {
        writer.WriteTabs(level);
    }
    writer.WriteWord(parameter.name);
    if (flat && parameter.value_count > 0) {
        writer.Write(" =");
    }
    for (int32_t i = 0; i < parameter.value_count; i++) {
        writer.Write(' ');
        writer.WriteWord(parameter.values[i]);
    }
    if (parameter.parameter_count == 0) {
        writer.Write(flat ? "; " : "\n");
        return;
    }
    writer.Write(flat ? " {" : " {\n");
    for (int32_t i = 0; i < parameter.parameter_count; i++) {
        print_parameter(writer, parameter.parameters[i], level + 1, flat);
    }
    if (!flat) {
        writer.WriteTabs(level);
    }
    writer.Write(flat ? "}" : "}\n");
}

}  // namespace

status_code print_settings(const driver_settings* settings, char* buffer, size_t* size, bool flat)
{
    TextWriter writer(buffer, *size);
    for (int32_t i = 0; i < settings->parameter_count; i++) {
        print_parameter(writer, settings->parameters[i], 0, flat);
    }
    size_t available = *size;
    *size = writer.Finish();
    return *size > available ? FSSH_EOVERFLOW : FSSH_OK;
}

}  // namespace fssh
