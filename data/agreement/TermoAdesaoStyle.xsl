<?xml version="1.0" encoding="UTF-8"?>
<!--
  Termo de Adesão ao Convênio de Prestação de Serviços: turns the data of
  one entity (TermoAdesao.xml) into a printable page, two copies of which
  are signed and delivered to the Certification Authority.
-->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:output method="html" encoding="UTF-8" indent="yes"
              doctype-public="-//W3C//DTD HTML 4.01//EN"/>

  <!-- A CNPJ (12 digits or capitals, then 2 check digits) as
       00.000.000/0000-00 or 12.ABC.345/01DE-35; a CEI (12 digits, stored
       with two leading zeros) as 00.000.00000/00; anything else as it is. -->
  <xsl:template name="inscricao">
    <xsl:param name="tipo"/>
    <xsl:param name="numero"/>
    <xsl:choose>
      <xsl:when test="$tipo = '01' and string-length($numero) = 14
                      and translate(substring($numero, 1, 12), '0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ', '') = ''
                      and translate(substring($numero, 13, 2), '0123456789', '') = ''">
        <xsl:value-of select="concat(substring($numero, 1, 2), '.', substring($numero, 3, 3), '.',
                              substring($numero, 6, 3), '/', substring($numero, 9, 4), '-', substring($numero, 13, 2))"/>
      </xsl:when>
      <xsl:when test="$tipo = '02' and string-length($numero) = 14 and translate($numero, '0123456789', '') = ''">
        <xsl:variable name="cei" select="substring($numero, 3, 12)"/>
        <xsl:value-of select="concat(substring($cei, 1, 2), '.', substring($cei, 3, 3), '.',
                              substring($cei, 6, 5), '/', substring($cei, 11, 2))"/>
      </xsl:when>
      <xsl:otherwise><xsl:value-of select="$numero"/></xsl:otherwise>
    </xsl:choose>
  </xsl:template>

  <!-- 11 digits as 000.000.000-00. -->
  <xsl:template name="cpf">
    <xsl:param name="numero"/>
    <xsl:choose>
      <xsl:when test="string-length($numero) = 11 and translate($numero, '0123456789', '') = ''">
        <xsl:value-of select="concat(substring($numero, 1, 3), '.', substring($numero, 4, 3), '.',
                              substring($numero, 7, 3), '-', substring($numero, 10, 2))"/>
      </xsl:when>
      <xsl:otherwise><xsl:value-of select="$numero"/></xsl:otherwise>
    </xsl:choose>
  </xsl:template>

  <xsl:template match="/termo">
    <xsl:variable name="tipo">
      <xsl:choose>
        <xsl:when test="inscricao/@tipo = '02'">CEI</xsl:when>
        <xsl:otherwise>CNPJ</xsl:otherwise>
      </xsl:choose>
    </xsl:variable>
    <html>
      <head>
        <title>Termo de Adesão ao Convênio de Prestação de Serviços</title>
      </head>
      <body style="font-family: Arial, Helvetica, sans-serif; font-size: 10pt;">
        <h2 align="center">TERMO DE ADESÃO AO CONVÊNIO DE PRESTAÇÃO DE SERVIÇOS</h2>
        <p align="center"><b>Serviço Vinculum — Certificação Eletrônica</b></p>

        <p align="justify">
          A entidade abaixo identificada, por intermédio de seus responsáveis, adere ao
          Convênio de Prestação de Serviços celebrado com a <b>Orvanta</b> para a emissão e o
          uso de certificados eletrônicos de acesso ao serviço <b>Vinculum</b>, declarando
          conhecer e aceitar integralmente as suas cláusulas e condições.
        </p>

        <h3>1. Identificação da entidade</h3>
        <table border="1" cellspacing="0" cellpadding="4" width="100%">
          <tr>
            <td width="30%"><b>Razão Social</b></td>
            <td><xsl:value-of select="juridica"/></td>
          </tr>
          <tr>
            <td><b><xsl:value-of select="$tipo"/></b></td>
            <td>
              <xsl:call-template name="inscricao">
                <xsl:with-param name="tipo" select="inscricao/@tipo"/>
                <xsl:with-param name="numero" select="inscricao"/>
              </xsl:call-template>
            </td>
          </tr>
          <tr>
            <td><b>Perfil</b></td>
            <td>
              <xsl:choose>
                <xsl:when test="profile = '01'">Empresa usuária</xsl:when>
                <xsl:otherwise><xsl:value-of select="profile"/></xsl:otherwise>
              </xsl:choose>
            </td>
          </tr>
        </table>

        <h3>2. Responsáveis</h3>
        <xsl:choose>
          <xsl:when test="responsaveis/responsavel">
            <table border="1" cellspacing="0" cellpadding="4" width="100%">
              <tr>
                <th align="left" width="8%">Nº</th>
                <th align="left">Nome</th>
                <th align="left" width="30%">CPF</th>
              </tr>
              <xsl:for-each select="responsaveis/responsavel">
                <tr>
                  <td><xsl:value-of select="position()"/></td>
                  <td><xsl:value-of select="@nome"/></td>
                  <td>
                    <xsl:call-template name="cpf">
                      <xsl:with-param name="numero" select="@cpf"/>
                    </xsl:call-template>
                  </td>
                </tr>
              </xsl:for-each>
            </table>
          </xsl:when>
          <xsl:otherwise>
            <p><i>Nenhum responsável cadastrado.</i></p>
          </xsl:otherwise>
        </xsl:choose>

        <h3>3. Declaração</h3>
        <p align="justify">
          Os responsáveis declaram, sob as penas da lei, que as informações acima são
          verdadeiras, que os certificados eletrônicos solicitados serão utilizados
          exclusivamente pela entidade identificada neste termo e que a guarda das senhas e
          dos disquetes que os contêm é de sua inteira responsabilidade.
        </p>
        <p align="justify">
          Este termo é apresentado em duas vias de igual teor, assinadas perante o agente de
          registro da Autoridade Certificadora.
        </p>

        <p align="right">
          <xsl:value-of select="cidade"/>, <xsl:value-of select="data"/>.
        </p>

        <h3>4. Assinaturas</h3>
        <table border="0" cellspacing="0" cellpadding="12" width="100%">
          <xsl:for-each select="responsaveis/responsavel">
            <tr>
              <td>
                <br/>
                ____________________________________________________<br/>
                <xsl:value-of select="@nome"/><br/>
                CPF:
                <xsl:call-template name="cpf">
                  <xsl:with-param name="numero" select="@cpf"/>
                </xsl:call-template>
              </td>
            </tr>
          </xsl:for-each>
          <tr>
            <td>
              <br/>
              ____________________________________________________<br/>
              Agente de registro da Autoridade Certificadora — Orvanta
            </td>
          </tr>
        </table>
      </body>
    </html>
  </xsl:template>
</xsl:stylesheet>
