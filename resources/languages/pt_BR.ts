<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="pt_BR" sourcelanguage="pt_BR">
<context>
    <name>AirFeeds</name>
    <message>
        <source>Stream: recusado: confira o usuário e a senha</source>
        <translation>Stream: recusado: confira o usuário e a senha</translation>
    </message>
    <message>
        <source>Stream: recusado: %1</source>
        <translation>Stream: recusado: %1</translation>
    </message>
</context>
</TS>
